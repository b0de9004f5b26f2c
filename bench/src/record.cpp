// Voice recording through the recording dialog, offscreen: CYCLES record-
// and-stop cycles of 1 s each with the sound server's 1 kHz tone as the
// source. Reports the UI thread's longest stall over all cycles (the target
// is under 50 ms), the 95th percentile of the start latency (the record
// click to the first sample written) and the largest gap between a file's
// length and the time text shown when it was stopped (target under 0.1 s).
//
// Usage: bench_record [CYCLES]   (default 20)
// Ends with "RATIO <longest UI stall / 50 ms>".
#include "engine/audio_capture_filter.h"
#include "panes/recording/recording_dlg.h"
#include "skin/skin_button.h"

#include "ui_watchdog.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr double kTargetStallMs = 50.0;

bool RunUntil(const std::function<bool()>& done, int ms)
{
    const std::int64_t end = CAudioCaptureFilter::NowMs() + ms;
    while (!done()) {
        if (CAudioCaptureFilter::NowMs() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return true;
}

// Seconds of sound in a WAV file, from its header.
double WavSeconds(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray h = f.read(44);
    if (h.size() < 44)
        return -1.0;
    auto u32 = [&h](int at) {
        return std::uint32_t(std::uint8_t(h[at])) | std::uint32_t(std::uint8_t(h[at + 1])) << 8
            | std::uint32_t(std::uint8_t(h[at + 2])) << 16 | std::uint32_t(std::uint8_t(h[at + 3])) << 24;
    };
    const std::uint32_t bytesPerSecond = u32(28);
    return bytesPerSecond ? double(u32(40)) / bytesPerSecond : -1.0;
}

// "hh:mm:ss.t" in seconds.
double TextSeconds(const QString& text)
{
    const QStringList parts = text.split(':');
    return parts.size() == 3 ? parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble() : -1.0;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QTemporaryDir dir;
    PaneContext context;
    context.workFolder = dir.path();
    CCW_RecordingDlg dialog(context);
    dialog.show();
    UiWatchdog watchdog;

    std::vector<double> latencies;
    double largestGap = 0.0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const std::int64_t clicked = CAudioCaptureFilter::NowMs();
        dialog.button(CCW_RecordingDlg::IdRecord)->click();
        std::int64_t firstSeen = 0;
        const bool started = dialog.IsRecording()
            && RunUntil(
                [&] {
                    if (!firstSeen && dialog.FirstSampleMs() != 0)
                        firstSeen = CAudioCaptureFilter::NowMs();
                    return firstSeen && dialog.TimeText() >= QLatin1String("00:00:01.0");
                },
                20000);
        if (!started) {
            std::fprintf(stderr, "bench_record: cycle %d did not record (is the sound server running?)\n", cycle + 1);
            return 1;
        }
        const QString text = dialog.TimeText();
        dialog.button(CCW_RecordingDlg::IdStop)->click();
        const double gap = std::fabs(WavSeconds(dialog.RecordedPath()) - TextSeconds(text));
        latencies.push_back(double(firstSeen - clicked));
        largestGap = std::max(largestGap, gap);
        std::printf("cycle %d: start latency %lld ms, file %.3f s, text %s\n", cycle + 1,
            static_cast<long long>(firstSeen - clicked), WavSeconds(dialog.RecordedPath()), qPrintable(text));
    }
    std::sort(latencies.begin(), latencies.end());
    const double p95
        = latencies[std::min(latencies.size() - 1, std::size_t(std::ceil(0.95 * double(latencies.size()))) - 1)];
    const double stall = double(watchdog.LongestStallMs());
    std::printf("p95 start latency: %.0f ms\n", p95);
    std::printf("largest gap between file and time text: %.3f s (target under 0.1 s)\n", largestGap);
    watchdog.Print();
    std::printf("RATIO %.3f\n", stall / kTargetStallMs);
    return 0;
}
