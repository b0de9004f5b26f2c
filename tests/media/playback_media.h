// Short media for the playback tests, made with the ffmpeg command.
#pragma once

#include "test_util.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace playback_media {

// 64 x 48 pictures at 15 fps, red for the first second, green for the
// second, blue for the third; with a 440 Hz stereo tone at 44.1 kHz unless
// silent. MPEG-4 video and PCM sound in an AVI.
inline QString ColourMovie(const QTemporaryDir& dir, bool withSound = true, const QString& name = "colours.avi")
{
    const QString path = dir.filePath(name);
    QStringList args { "-f", "lavfi", "-i",
        "color=c=red:s=64x48:r=15:d=1[a];color=c=lime:s=64x48:r=15:d=1[b];color=c=blue:s=64x48:r=15:d=1[c];"
        "[a][b][c]concat=n=3:v=1:a=0" };
    if (withSound)
        args << "-f"
             << "lavfi"
             << "-i"
             << "sine=frequency=440:sample_rate=44100:duration=3"
             << "-ac"
             << "2";
    args << "-c:v"
         << "mpeg4"
         << "-q:v"
         << "2";
    if (withSound)
        args << "-c:a"
             << "pcm_s16le";
    args << "-t"
         << "3" << path;
    return RunFfmpeg(args) ? path : QString();
}

// A mono 22.05 kHz tone of the given length as WAV.
inline QString ToneWav(const QTemporaryDir& dir, double seconds = 1.5, const QString& name = "tone.wav")
{
    const QString path = dir.filePath(name);
    const bool ok = RunFfmpeg({ "-f", "lavfi", "-i",
        QString("sine=frequency=330:sample_rate=22050:duration=%1").arg(seconds), "-c:a", "pcm_s16le", path });
    return ok ? path : QString();
}

// A 2-second stereo MP3 at 128 kbit/s.
inline QString ToneMp3(const QTemporaryDir& dir, const QString& name = "tone.mp3")
{
    const QString path = dir.filePath(name);
    const bool ok = RunFfmpeg({ "-f", "lavfi", "-i", "sine=frequency=550:sample_rate=44100:duration=2", "-ac", "2",
        "-c:a", "libmp3lame", "-b:a", "128k", path });
    return ok ? path : QString();
}

// Which of red, green, blue the image's centre is (0, 1, 2), or -1.
inline int CentreColour(const QImage& image)
{
    if (image.isNull())
        return -1;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    if (c.red() > 180 && c.green() < 80 && c.blue() < 80)
        return 0;
    if (c.green() > 180 && c.red() < 80 && c.blue() < 80)
        return 1;
    if (c.blue() > 180 && c.red() < 80 && c.green() < 80)
        return 2;
    return -1;
}

} // namespace playback_media
