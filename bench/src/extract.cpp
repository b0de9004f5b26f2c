// Samples a movie the way the save flow does: 176 x 144 I420 frames every
// 0.1 s of the whole video stream into the frame cache, then writes them one
// after the other to a raw file. Prints the wall-clock seconds and, on the
// error stream, the frames made and decoded.
// Usage: bench_extract MOVIE OUTPUT_RAW WORK_FOLDER
#include "config/registry.h"
#include "config/suite_settings.h"
#include "engine/frame_capture.h"
#include "engine/work_state.h"
#include "skin/scripted_dialog_service.h"

#include <QCoreApplication>
#include <QFile>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MOVIE OUTPUT_RAW WORK_FOLDER\n", argv[0]);
        return 2;
    }
    auto dialogs = std::make_unique<ScriptedDialogService>();
    ScriptedDialogService* log = dialogs.get();
    SetDialogService(std::move(dialogs));
    {
        CRegistry reg;
        reg.OpenKey(kSuiteKey);
        reg.WriteString("FOLDER", QString::fromLocal8Bit(argv[3]));
    }

    const auto start = std::chrono::steady_clock::now();
    CMovieWorkState::Reset();
    CMovieGraphCapture capture;
    capture.SetExtractionParams(QString::fromLocal8Bit(argv[1]), 0.1, 176, 144, 0.0, 0.0);
    FrameCache cache;
    std::int32_t count = 0;
    const HRESULT hr = capture.ExtractFrames(&count, ExtractI420Frames, cache);
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (hr == S_OK && out.open(QIODevice::WriteOnly)) {
        for (std::size_t i = 0; i < cache.Count(); ++i)
            out.write(reinterpret_cast<const char*>(cache.At(i)->data.get()), qint64(cache.At(i)->size));
        out.close();
    }
    const auto end = std::chrono::steady_clock::now();
    for (const auto& r : log->records())
        std::fprintf(stderr, "message: %s\n", r.text.toLocal8Bit().constData());
    if (hr != S_OK) {
        std::fprintf(stderr, "extraction failed: 0x%08x\n", unsigned(hr));
        return 1;
    }
    std::fprintf(stderr, "frames %d\n", count);
    std::printf("%.3f\n", std::chrono::duration<double>(end - start).count());
    return 0;
}
