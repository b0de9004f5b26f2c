// Timeline playback cost: a 640 x 480 H.264 movie with AAC sound placed on
// the movie timeline (320 x 240 pictures at 15 frames per second, stereo
// 44.1 kHz sound) and played in real time through CGraphBasic with a colour
// effect on. The process's CPU time over the playback (decoding, with the
// decoder's own threads, composing, the effect, handing frames and sound on,
// and the sound output besides) divided by the playback time is the share
// of one core the playback takes; the target is under 25 %. The streaming
// threads' own share is printed beside it.
//
// Usage: bench_playback [SECONDS [REPEATS]]   (default 10 s, 3 repeats)
// Prints each run and ends with "RATIO <median share / 0.25>".
#include "engine/effect_kernels.h"
#include "engine/playback_graph.h"
#include "engine/render_engine.h"
#include "project/media_file.h"
#include "project/movie_timeline.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
constexpr double kTargetShare = 0.25;

double ProcessCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

bool MakeSource(const QString& path, int seconds)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
        { "-y", "-loglevel", "error", "-f", "lavfi", "-i",
            QString("testsrc2=size=640x480:rate=30:duration=%1").arg(seconds), "-f", "lavfi", "-i",
            QString("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds), "-ac", "2", "-c:v", "libx264",
            "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "128k", path });
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    QTemporaryDir dir;
    const QString source = dir.filePath("source.mp4");
    if (!MakeSource(source, seconds)) {
        std::fprintf(stderr, "bench_playback: the ffmpeg command could not make the source\n");
        return 1;
    }

    CMovieTimeline composer;
    const CMediaFile clip(source, std::uint32_t(seconds) * 1000, 640, 480, 1);
    if (FAILED(composer.ResetMovieTimeline()) || FAILED(composer.AddClip(clip, 1))
        || FAILED(composer.AddClip(clip, 2))) {
        std::fprintf(stderr, "bench_playback: the timeline could not be built\n");
        return 1;
    }
    CurrentEffectId.store(kEffectSepia);

    std::vector<double> shares;
    for (int run = 0; run < repeats; ++run) {
        CGraphBasic graph;
        if (FAILED(graph.OpenTimeline(composer.GetTimeline()))) {
            std::fprintf(stderr, "bench_playback: the timeline could not be opened\n");
            return 1;
        }
        const std::int64_t cpuAtOpen = graph.StreamingCpuNs();
        const double processAtStart = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        graph.Play();
        long code = 0, p1 = 0, p2 = 0;
        bool complete = false;
        while (!complete && wall.elapsed() < (seconds + 30) * 1000) {
            QCoreApplication::processEvents();
            complete = graph.GetEvent(&code, &p1, &p2, 20) == S_OK && code == EC_COMPLETE;
        }
        const double elapsed = double(wall.elapsed()) / 1000.0;
        const double process = ProcessCpuSeconds() - processAtStart;
        const double streaming = double(graph.StreamingCpuNs() - cpuAtOpen) / 1e9;
        const std::int64_t frames = graph.FramesPresented();
        const std::int64_t skipped = graph.FramesSkipped();
        const bool soundClock = graph.AudioOutput() != nullptr;
        graph.CloseGraph();
        if (!complete) {
            std::fprintf(stderr, "bench_playback: playback did not complete\n");
            return 1;
        }
        const double share = process / double(seconds);
        shares.push_back(share);
        std::printf(
            "run %d: %d s played in %.2f s, %lld frames shown (%lld skipped), process CPU %.3f s (%.1f %% of a core), "
            "streaming threads alone %.1f %%, clock: %s\n",
            run + 1, seconds, elapsed, static_cast<long long>(frames), static_cast<long long>(skipped), process,
            share * 100.0, streaming / double(seconds) * 100.0, soundClock ? "sound device" : "monotonic");
    }
    std::sort(shares.begin(), shares.end());
    const double median = shares[shares.size() / 2];
    std::printf("median share of one core: %.1f %% (target under %.0f %%)\n", median * 100.0, kTargetShare * 100.0);
    std::printf("RATIO %.3f\n", median / kTargetShare);
    return 0;
}
