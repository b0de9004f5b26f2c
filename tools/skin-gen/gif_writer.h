// A small animated GIF writer: 8-bit palette frames with a fixed delay,
// looping forever. The colours are reduced to a 6x7x6 colour cube, which is
// enough for the flat skin artwork.
#pragma once

#include <QImage>
#include <QList>
#include <QString>

bool WriteAnimatedGif(const QString& path, const QList<QImage>& frames, int delayCentiseconds);
