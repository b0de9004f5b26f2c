// Building the playback graph of one media file: a file source with a pin
// for the picture stream and one for the sound stream that CMediaSource
// picks (a file with neither, or with no known length, cannot be played),
// each connected to its renderer ("intelligent connect": the video renderer
// and the "Audio Renderer" sample sink; no effect filter), the feeds that
// read the file, and the sound output. The graph is left cued (paused).
//
// Makes no widget and shows no message: it may run on any thread.
#pragma once

#include "platform/hresult.h"

#include <QString>

struct PlaybackGraphParts;

// 0, E_FAIL when path is not a playable media file, or the failing step's
// code. volume: the sound output's level in hundredths of a decibel. On
// failure parts may hold what was built (dismantle it).
HRESULT BuildFileGraph(const QString& path, long volume, PlaybackGraphParts* parts);
