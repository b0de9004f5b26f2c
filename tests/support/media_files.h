// Media the tests make and read back: generated clips (made once per build
// tree through RunFfmpeg's test-media cache), ffprobe values, decoded
// pictures and sound, and the checks on them.
#pragma once

#include "test_util.h"

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

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

// 64 x 48 pictures at 15 fps, red for the first second, green for the
// second, blue for the third; with a 440 Hz stereo tone at 44.1 kHz unless
// silent. MPEG-4 video and PCM sound in an AVI.
inline QString ColourMovie(bool withSound = true)
{
    QStringList args { "-f", "lavfi", "-i",
        "color=c=red:s=64x48:r=15:d=1[a];color=c=lime:s=64x48:r=15:d=1[b];color=c=blue:s=64x48:r=15:d=1[c];"
        "[a][b][c]concat=n=3:v=1:a=0" };
    if (withSound)
        args += { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3", "-ac", "2", "-c:a",
            "pcm_s16le" };
    return MediaCache::Make(withSound ? "colours.avi" : "colours-silent.avi",
        args + QStringList { "-c:v", "mpeg4", "-q:v", "2", "-t", "3" });
}

// Three seconds of w x h pictures at 25 fps, red, then lime, then blue, the
// top quarter white; with a mono 44.1 kHz 440 Hz PCM tone. An AVI made once
// as name with the given video codec options.
inline bool MakeBandedColourClip(const QString& name, int w, int h, const QStringList& videoCodec)
{
    QStringList args;
    for (const char* colour : { "red", "lime", "blue" })
        args += { "-f", "lavfi", "-i", QString("color=%1:s=%2x%3:r=25:d=1").arg(colour).arg(w).arg(h) };
    args += { "-f", "lavfi", "-i", "sine=frequency=440:duration=3:sample_rate=44100", "-filter_complex",
        "[0][1][2]concat=n=3:v=1:a=0,drawbox=x=0:y=0:w=iw:h=ih/4:color=white:t=fill[v]", "-map", "[v]", "-map", "3:a",
        "-c:a", "pcm_s16le" };
    return !MediaCache::Make(name, args + videoCodec).isEmpty();
}

// A colour, and whether another is within tolerance of it in every channel.
struct Rgb {
    int r, g, b;
};
inline ::testing::AssertionResult RgbNear(Rgb got, Rgb want, int tolerance)
{
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance
        && std::abs(got.b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got.r << "," << got.g << "," << got.b << " want " << want.r << ","
                                         << want.g << "," << want.b;
}

// A mono 22.05 kHz 330 Hz tone of 1.5 s as WAV.
inline QString ToneWav()
{
    return MediaCache::Make("tone330.wav",
        { "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=22050:duration=1.5", "-c:a", "pcm_s16le" });
}

// A 2-second stereo 550 Hz MP3 at 128 kbit/s.
inline QString ToneMp3()
{
    return MediaCache::Make("tone550.mp3",
        { "-f", "lavfi", "-i", "sine=frequency=550:sample_rate=44100:duration=2", "-ac", "2", "-c:a", "libmp3lame",
            "-b:a", "128k" });
}

// How many colours a screenshot shows (sampled every third pixel): a
// screenshot of something has several, not one flat fill.
inline int ColourCount(const QImage& img)
{
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3) {
        for (int x = 0; x < img.width(); x += 3)
            colours.insert(img.pixel(x, y));
    }
    return int(colours.size());
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
