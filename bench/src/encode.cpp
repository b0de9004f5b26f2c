// Phone-format encoding speed: 300 frames of 176 x 144 I420 (60 s at 5 frames
// per second) and 60 s of 8 kHz mono PCM, encoded through COTTEncoder and our
// encoder library into a 3GP (MPEG-4 + AMR-NB 12.2) and an MP4 (MPEG-4 + AAC),
// against the ffmpeg command encoding the same raw input to the same codecs in
// the same run. The ffmpeg command has no AMR-NB encoder, so for the 3GP the
// peer is the ffmpeg command for the video plus a plain opencore-amrnb loop.
//
// Also compares picture quality at the same bit rate: the PSNR of our MPEG-4
// picture and of the ffmpeg command's against the raw frames (ours should be
// at least the peer's minus 0.5 dB).
//
// Usage: bench_encode SUITE_FOLDER [REPEATS]
// Prints the median times and the PSNR figures, and ends with
// "RATIO <ours / peer>", the worse file.
#include "config/registry.h"
#include "config/suite_settings.h"
#include "export/ott_encoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
}

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFrames = 300;
constexpr int kFrameBytes = kWidth * kHeight * 3 / 2;
constexpr int kRate = 8000;
constexpr int kSamples = 60 * kRate;

std::vector<unsigned char> g_video;
std::vector<short> g_pcm;
int g_chunk = 160;

// A moving gradient with a textured patch, so every frame has real motion
// and detail for the encoder.
void MakeInput()
{
    g_video.resize(static_cast<std::size_t>(kFrames) * kFrameBytes);
    std::uint32_t noise = 12345;
    for (int f = 0; f < kFrames; ++f) {
        unsigned char* y = g_video.data() + static_cast<std::size_t>(f) * kFrameBytes;
        for (int r = 0; r < kHeight; ++r) {
            for (int c = 0; c < kWidth; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const bool patch = std::abs(c - (f * 3) % kWidth) < 24 && std::abs(r - 72) < 24;
                y[r * kWidth + c] = static_cast<unsigned char>(patch ? 40 + (noise >> 25) : (r + c + 2 * f) & 0xFF);
            }
        }
        unsigned char* uv = y + kWidth * kHeight;
        for (int i = 0; i < kWidth * kHeight / 2; ++i)
            uv[i] = static_cast<unsigned char>(128 + 40 * std::sin((i + 7 * f) * 0.01));
    }
    g_pcm.resize(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kRate;
        g_pcm[i]
            = static_cast<short>(8000 * std::sin(2 * M_PI * 440 * t) + 4000 * std::sin(2 * M_PI * (300 + 20 * t) * t));
    }
}

int ProvideFrame(unsigned char* buffer, int index, int* timeMs)
{
    if (index >= kFrames)
        return 0;
    std::memcpy(buffer, g_video.data() + static_cast<std::size_t>(index) * kFrameBytes, kFrameBytes);
    *timeMs = index * 200;
    return 1;
}

int ProvideChunk(short* buffer, int index, int* count, int* start)
{
    const int first = index * g_chunk;
    if (first >= kSamples)
        return 0;
    const int n = std::min(g_chunk, kSamples - first);
    std::memcpy(buffer, g_pcm.data() + first, static_cast<std::size_t>(n) * sizeof(short));
    *count = n;
    *start = first;
    return 1;
}

int OnStatus(int, int)
{
    return 1;
}

double Seconds(const std::function<bool()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    if (!work()) {
        std::fprintf(stderr, "bench_encode: a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool EncodeOurs(const QString& out, int codec)
{
    g_chunk = AudioChunkSamples(codec, 1);
    COTTEncoder enc;
    return enc.Encode(out.toUtf8().constData(), 2, 1, kWidth, kHeight, 2, kFrames, 1, kRate, codec,
               kSamples / g_chunk + 1, ProvideFrame, ProvideChunk, OnStatus)
        == 1;
}

bool RunFfmpeg(const QStringList& args)
{
    QProcess p;
    p.start("ffmpeg", QStringList { "-y", "-v", "error", "-nostdin" } + args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The same raw input and codecs as ours: MPEG-4 part 2 at 96 kbit/s with a key
// frame every 10 frames, AAC at 24 kbit/s.
QStringList PeerVideoArgs(const QString& yuv)
{
    return { "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "176x144", "-r", "5", "-i", yuv };
}

// Average PSNR (dB) of the picture of file against the raw input frames, as
// FFmpeg's psnr filter measures it; NaN when it cannot be measured.
double PicturePsnr(const QString& file, const QString& yuv)
{
    QProcess p;
    p.start("ffmpeg",
        QStringList { "-nostdin", "-hide_banner", "-i", file, "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "176x144",
            "-r", "5", "-i", yuv, "-lavfi", "[0:v][1:v]psnr", "-f", "null", "-" });
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return std::nan("");
    const QString log = QString::fromUtf8(p.readAllStandardError());
    const int at = log.lastIndexOf("average:");
    if (at < 0)
        return std::nan("");
    bool ok = false;
    const double db = log.mid(at + 8).section(' ', 0, 0).toDouble(&ok);
    return ok ? db : std::nan("");
}

bool AmrLoop()
{
    void* state = Encoder_Interface_init(0);
    unsigned char out[64];
    std::size_t bytes = 0;
    for (int i = 0; i + 160 <= kSamples; i += 160)
        bytes += static_cast<std::size_t>(Encoder_Interface_Encode(state, MR122, g_pcm.data() + i, out, 0));
    Encoder_Interface_exit(state);
    return bytes > 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_encode SUITE_FOLDER [REPEATS]\n");
        return 2;
    }
    const QString suite = QString::fromLocal8Bit(argv[1]);
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir dir;
    // A private registry, so the bench never touches the user's settings.
    qputenv("ORVANTA_REGISTRY", dir.filePath("registry.db").toLocal8Bit());
    {
        CRegistry reg;
        if (!reg.OpenKey(QString::fromLatin1(kSuiteKey)) || !reg.WriteString("FOLDER", suite)) {
            std::fprintf(stderr, "bench_encode: cannot write the registry\n");
            return 1;
        }
    }

    MakeInput();
    const QString yuv = dir.filePath("input.yuv");
    const QString pcm = dir.filePath("input.pcm");
    {
        QFile v(yuv), a(pcm);
        if (!v.open(QIODevice::WriteOnly) || !a.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "bench_encode: cannot write the raw input\n");
            return 1;
        }
        v.write(reinterpret_cast<const char*>(g_video.data()), static_cast<qint64>(g_video.size()));
        a.write(reinterpret_cast<const char*>(g_pcm.data()), static_cast<qint64>(g_pcm.size() * sizeof(short)));
    }
    const QStringList pcmIn { "-f", "s16le", "-ar", "8000", "-ac", "1", "-i", pcm };
    const QStringList videoOut { "-c:v", "mpeg4", "-b:v", "96k", "-g", "10", "-bf", "0" };

    std::vector<double> ours3gp, peer3gpVideo, peerAmr, oursMp4, peerMp4;
    for (int i = 0; i < repeats; ++i) {
        ours3gp.push_back(Seconds([&] { return EncodeOurs(dir.filePath("ours.3gp"), 5); }));
        peer3gpVideo.push_back(Seconds([&] {
            return RunFfmpeg(
                PeerVideoArgs(yuv) + videoOut + QStringList { "-an", "-f", "3gp", dir.filePath("peer.3gp") });
        }));
        peerAmr.push_back(Seconds(AmrLoop));
        oursMp4.push_back(Seconds([&] { return EncodeOurs(dir.filePath("ours.mp4"), 0); }));
        peerMp4.push_back(Seconds([&] {
            return RunFfmpeg(PeerVideoArgs(yuv) + pcmIn + videoOut
                + QStringList { "-c:a", "aac", "-b:a", "24k", "-f", "mp4", dir.filePath("peer.mp4") });
        }));
    }

    // What the peer's times include before any encoding: starting the command.
    std::vector<double> startup;
    for (int i = 0; i < repeats; ++i)
        startup.push_back(Seconds([] { return RunFfmpeg({ "-version" }); }));

    const double o3 = Median(ours3gp);
    const double pv = Median(peer3gpVideo);
    const double pa = Median(peerAmr);
    const double om = Median(oursMp4);
    const double pm = Median(peerMp4);
    const double r3 = o3 / (pv + pa);
    const double rm = om / pm;
    std::printf("medians of %d runs, 300 frames 176x144 + 60 s 8 kHz PCM\n", repeats);
    std::printf("3GP  MPEG-4 + AMR-NB 12.2: ours %.3f s, peer %.3f s (ffmpeg video %.3f s + amrnb loop %.3f s), "
                "ratio %.2f\n",
        o3, pv + pa, pv, pa, r3);
    std::printf("MP4  MPEG-4 + AAC:         ours %.3f s, peer (ffmpeg) %.3f s, ratio %.2f\n", om, pm, rm);
    std::printf("(the ffmpeg command's start-up alone takes %.3f s of each peer time; output sizes: ours %lld / %lld "
                "bytes, peer %lld / %lld bytes)\n",
        Median(startup), QFileInfo(dir.filePath("ours.3gp")).size(), QFileInfo(dir.filePath("ours.mp4")).size(),
        QFileInfo(dir.filePath("peer.3gp")).size(), QFileInfo(dir.filePath("peer.mp4")).size());
    // Same frames, same bit rate (96 kbit/s, a key frame every 10 frames).
    const double psnrOurs3gp = PicturePsnr(dir.filePath("ours.3gp"), yuv);
    const double psnrOursMp4 = PicturePsnr(dir.filePath("ours.mp4"), yuv);
    const double psnrPeer = PicturePsnr(dir.filePath("peer.mp4"), yuv);
    const double psnrOurs = std::min(psnrOurs3gp, psnrOursMp4);
    std::printf("PSNR of the MPEG-4 picture against the raw frames: ours %.2f dB (3GP %.2f, MP4 %.2f), peer %.2f dB, "
                "difference %+.2f dB (target at least -0.5)\n",
        psnrOurs, psnrOurs3gp, psnrOursMp4, psnrPeer, psnrOurs - psnrPeer);
    std::printf("RATIO %.3f\n", std::max(r3, rm));
    return 0;
}
