// CAnimatedPicture: an animated skin picture (a GIF) played by QMovie. On a
// high-density screen it plays the @2x file and draws its frames at scale-1
// size. A missing or undecodable file is reported once with the missing-file
// warning and the picture stays empty.
#pragma once

#include "skin/skin_bitmap.h"

#include <QMovie>
#include <QWidget>

class CAnimatedPicture : public QWidget {
    Q_OBJECT
public:
    explicit CAnimatedPicture(QWidget* parent = nullptr);

    // Loads the file and shows its first frame; the widget takes the size of
    // one frame.
    bool Load(const QString& path);
    bool Load(const ResourceLookup& lookup, const QString& section, const QString& key);
    void Start();
    void Stop();
    bool isRunning() const { return movie_.state() == QMovie::Running; }
    bool isNull() const { return !movie_.isValid(); }
    // The size of one frame in scale-1 pixels.
    QSize frameSize() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QMovie movie_;
    qreal ratio_ = 1.0;
};
