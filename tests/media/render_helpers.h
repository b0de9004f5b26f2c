// Helpers of the render tests: media made with the ffmpeg command, probing
// with ffprobe, and decoding results back with the ffmpeg command.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <vector>

namespace render_test {

// Runs a tool and returns its standard output; ok is false on a non-zero exit.
inline QByteArray Run(const QString& program, const QStringList& args, bool* ok = nullptr)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    if (ok)
        *ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return p.readAllStandardOutput();
}

// ffmpeg -y -loglevel error <args>; true when it succeeded.
inline bool Ffmpeg(const QStringList& args)
{
    bool ok = false;
    Run("ffmpeg", QStringList { "-y", "-nostdin", "-loglevel", "error" } + args, &ok);
    return ok;
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
