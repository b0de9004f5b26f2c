// Helpers of the render tests: probing with ffprobe and decoding results
// back with the ffmpeg command.
#pragma once

#include "test_util.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace render_test {

// One value of ffprobe's stream or format entries, e.g. ("stream", "codec_name", "v:0").
inline QString Probe(const QString& file, const QString& entries, const QString& streams = QString())
{
    QStringList args;
    if (!streams.isEmpty())
        args << "-select_streams" << streams;
    return RunFfprobe(args << "-show_entries" << entries << "-of"
                           << "default=noprint_wrappers=1:nokey=1" << file);
}

// What the ffmpeg command decodes from file with the given output options.
inline QByteArray Decode(const QString& file, const QStringList& output)
{
    return RunTool("ffmpeg", QStringList { "-v", "error", "-i", file } + output + QStringList { "-" }).out;
}

// The whole sound of a file as 16-bit samples at the given rate and channels.
inline std::vector<std::int16_t> DecodePcm(const QString& file, int rate, int channels)
{
    const QByteArray raw = Decode(file,
        { "-vn", "-f", "s16le", "-acodec", "pcm_s16le", "-ar", QString::number(rate), "-ac",
            QString::number(channels) });
    std::vector<std::int16_t> out(std::size_t(raw.size()) / 2);
    std::memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

// Decoded pictures as packed RGB24 frames of w x h.
inline std::vector<QByteArray> DecodeFrames(const QString& file, int w, int h)
{
    const QByteArray raw
        = Decode(file, { "-an", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", QString("%1x%2").arg(w).arg(h) });
    std::vector<QByteArray> frames;
    const int size = w * h * 3;
    for (int at = 0; at + size <= raw.size(); at += size)
        frames.push_back(raw.mid(at, size));
    return frames;
}

// Writes bytes to path; false when it cannot.
inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
