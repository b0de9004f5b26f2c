// Helpers of the render tests: media made with the ffmpeg command, probing
// with ffprobe, and decoding results back with the ffmpeg command.
#pragma once

#include "test_util.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <vector>

namespace render_test {

// Runs a tool and returns its standard output; ok is false on a non-zero exit.
inline QByteArray Run(const QString& program, const QStringList& args, bool* ok = nullptr)
{
    const ToolRun r = RunTool(program, args);
    if (ok)
        *ok = r.exitCode == 0;
    return r.out;
}

// ffmpeg -y -loglevel error <args>; true when it succeeded.
inline bool Ffmpeg(const QStringList& args)
{
    return RunFfmpeg(args);
}

// The folder of generated source clips in the build tree, shared by the
// test programs so that each clip is made once (bump the version when a
// recipe changes).
inline QString MediaCache()
{
    const QString dir = QStringLiteral(CW_BUILD_DIR "/test-media/render-v1");
    QDir().mkpath(dir);
    return dir;
}

// Publishes a finished temporary file under its name; another test program
// may have made the same file meanwhile.
inline bool Publish(const QString& temporary, const QString& target)
{
    if (!QFile::rename(temporary, target))
        QFile::remove(temporary);
    return QFileInfo::exists(target);
}

inline QString TemporaryName(const QString& target)
{
    const QFileInfo fi(target);
    return fi.dir().filePath(QString("part-%1-%2").arg(QCoreApplication::applicationPid()).arg(fi.fileName()));
}

// ffmpeg with args, the last of which is the output path, unless that file exists.
inline bool MakeMedia(QStringList args)
{
    const QString target = args.takeLast();
    if (QFileInfo::exists(target))
        return true;
    const QString temporary = TemporaryName(target);
    if (!Ffmpeg(args << temporary)) {
        QFile::remove(temporary);
        return false;
    }
    return Publish(temporary, target);
}

// One value of ffprobe's stream or format entries, e.g. ("stream", "codec_name", "v:0").
inline QString Probe(const QString& file, const QString& entries, const QString& streams = QString())
{
    QStringList args { "-v", "error" };
    if (!streams.isEmpty())
        args << "-select_streams" << streams;
    args << "-show_entries" << entries << "-of"
         << "default=noprint_wrappers=1:nokey=1" << file;
    return QString::fromUtf8(Run("ffprobe", args)).trimmed();
}

// The whole sound of a file as 16-bit samples at the given rate and channels.
inline std::vector<std::int16_t> DecodePcm(const QString& file, int rate, int channels)
{
    const QByteArray raw = Run("ffmpeg",
        { "-v", "error", "-i", file, "-vn", "-f", "s16le", "-acodec", "pcm_s16le", "-ar", QString::number(rate), "-ac",
            QString::number(channels), "-" });
    std::vector<std::int16_t> out(std::size_t(raw.size()) / 2);
    std::memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

// Decoded pictures as packed RGB24 frames of w x h.
inline std::vector<QByteArray> DecodeFrames(const QString& file, int w, int h)
{
    const QByteArray raw = Run("ffmpeg",
        { "-v", "error", "-i", file, "-an", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", QString("%1x%2").arg(w).arg(h),
            "-" });
    std::vector<QByteArray> frames;
    const int size = w * h * 3;
    for (int at = 0; at + size <= raw.size(); at += size)
        frames.push_back(raw.mid(at, size));
    return frames;
}

// Strength of one frequency in mono samples (Goertzel), relative to full scale.
inline double ToneLevel(const std::int16_t* s, std::size_t n, int channels, int rate, double freq)
{
    const double w = 2.0 * M_PI * freq / rate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; i += std::size_t(channels), ++count) {
        const double s0 = s[i] / 32768.0 + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return count ? 2.0 * std::sqrt(std::max(power, 0.0)) / double(count) : 0.0;
}

} // namespace render_test
