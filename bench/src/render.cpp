// Renders a two-clip timeline the way the save flow does: the movie to the
// intermediate AVI (DV video, PCM sound), then that AVI's sound to the 8 kHz
// mono WAV. Prints the wall-clock seconds of the two renders together.
// Usage: bench_render CLIP1 CLIP2 SECONDS_EACH OUTPUT_FOLDER
#include "engine/work_state.h"
#include "export/movie_render.h"
#include "project/movie_timeline.h"
#include "skin/scripted_dialog_service.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s CLIP1 CLIP2 SECONDS_EACH OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    auto dialogs = std::make_unique<ScriptedDialogService>();
    ScriptedDialogService* log = dialogs.get();
    SetDialogService(std::move(dialogs));

    const std::uint32_t lengthMs = std::uint32_t(std::atoi(argv[3])) * 1000;
    const QString folder = QString::fromLocal8Bit(argv[4]);
    CMovieTimeline movie;
    movie.ResetMovieTimeline();
    std::uint32_t at = 0;
    for (const char* file : { argv[1], argv[2] }) {
        CMediaFile clip(QString::fromLocal8Bit(file), lengthMs, 640, 480, ClipKind::VideoWithSound);
        clip.SetTimelineStart(at);
        movie.AddClip(clip, 1);
        movie.AddClip(clip, 2);
        at += lengthMs;
    }
    movie.ValidateSources();
    const REFERENCE_TIME duration = REFERENCE_TIME(at) * 10000;

    CMovieWorkState::Reset();
    const auto start = std::chrono::steady_clock::now();
    HRESULT hr = CompressVideo(&movie, folder + "/MS_AVI_VIDEO.avi", 0, duration);
    const auto videoDone = std::chrono::steady_clock::now();
    CMovieTimeline sound;
    if (hr == S_OK)
        hr = CompressSound(sound, folder + "/MS_AVI_AUDIO.wav", 0, duration, folder + "/MS_AVI_VIDEO.avi");
    const auto end = std::chrono::steady_clock::now();
    for (const auto& r : log->records())
        std::fprintf(stderr, "message: %s\n", r.text.toLocal8Bit().constData());
    if (hr != S_OK) {
        std::fprintf(stderr, "render failed: 0x%08x\n", unsigned(hr));
        return 1;
    }
    const double video = std::chrono::duration<double>(videoDone - start).count();
    const double total = std::chrono::duration<double>(end - start).count();
    std::fprintf(stderr, "avi %.3f s, wav %.3f s\n", video, total - video);
    std::printf("%.3f\n", total);
    return 0;
}
