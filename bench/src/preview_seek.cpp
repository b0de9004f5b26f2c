// Source-preview seeking: a 640 x 480 H.264 + AAC movie opens in the source
// preview (0x5011, the open on the worker beside the wait dialog), then the
// right mark is dragged at 60 moves per second across the movie, as the
// range slider reports it. Each move's latency runs until the video surface
// starts to paint the frame of that move or of a newer one. It also prints the time
// from 0x5011 to the first frame against ffprobe reading the movie's facts
// plus ffmpeg decoding its first frame, the UI thread's longest stall during
// the open and the drag, and the share of one core the spectrum adds to the
// idle process while it animates (its worker and the UI thread's paints). The last line is "RATIO <p95 seek latency /
// 60 ms>".
//
// Usage: bench_preview_seek MOVIE [MOVES]   (default 240 moves)
#include "engine/media_probe.h"
#include "engine/video_renderer.h"
#include "panes/movie_view/movie_view.h"
#include "panes/source_preview/level_bars.h"
#include "panes/source_preview/preview_media.h"
#include "platform/dialog_service.h"
#include "skin/range_slider.h"
#include "skin/scripted_dialog_service.h"
#include "ui_watchdog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>
#include <functional>
#include <vector>

namespace {

constexpr double kTargetMs = 60.0;
constexpr int kMoveMs = 1000 / 60;

// Receives what the pane sends to the main frame.
class Sink : public MessageWindow<QObject> {
protected:
    LRESULT onMessage(std::uint32_t, WPARAM, LPARAM, bool&) override { return 0; }
};

// Notes each paint of the surface that shows a requested position.
class PaintWatch : public QObject {
public:
    PaintWatch(CCW_VideoView& view)
        : view_(view)
    {
        view.Surface()->installEventFilter(this);
    }
    void Moved(REFERENCE_TIME at) { pending_.push_back({ at, clock_.nsecsElapsed() }); }
    void Start() { clock_.start(); }
    std::vector<double> latencies;
    std::size_t waiting() const { return pending_.size(); }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        // At the start of the surface's paint of the frame (the scaled
        // drawing itself is not counted).
        if (e->type() != QEvent::Paint || pending_.empty())
            return false;
        const auto& slot = view_.Graph().VideoSlot();
        const REFERENCE_TIME shown = slot ? slot->CurrentTime() : -1;
        const qint64 now = clock_.nsecsElapsed();
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            if (pending_[i].at != shown)
                continue;
            for (std::size_t j = 0; j <= i; ++j)
                latencies.push_back(double(now - pending_[j].since) / 1e6);
            pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(i) + 1);
            break;
        }
        return false;
    }

private:
    struct Move {
        REFERENCE_TIME at;
        qint64 since;
    };
    CCW_VideoView& view_;
    QElapsedTimer clock_;
    std::deque<Move> pending_;
};

// Runs the event loop for ms milliseconds, sleeping while nothing happens.
void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double ToolMs(const QString& program, const QStringList& args)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(program, args);
    return double(t.nsecsElapsed()) / 1e6;
}

double ProcessCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_preview_seek MOVIE [MOVES]\n");
        return 2;
    }
    const QString movie = QString::fromLocal8Bit(argv[1]);
    const int moves = argc > 2 ? std::max(10, std::atoi(argv[2])) : 240;
    SetDialogService(std::make_unique<ScriptedDialogService>());

    CMediaProbe probe;
    Sink frame;
    PaneContext context;
    context.probe = &probe;
    context.mainFrame = &frame;
    CCW_PreviewMedia pane(context);
    pane.resize(660, 560);
    pane.show();
    pane.SetVolumeMaximum(100);
    QCoreApplication::processEvents();

    UiWatchdog watchdog;
    QElapsedTimer t;
    t.start();
    QString path = movie;
    if (SendMessage(&pane, msg::OpenSource, 0, ToLParam(&path)) != 0) {
        std::fprintf(stderr, "the movie did not open\n");
        return 1;
    }
    while (!pane.view()->Graph().VideoSlot() || pane.view()->Graph().VideoSlot()->Current().isNull())
        Wait(1);
    const double openMs = double(t.nsecsElapsed()) / 1e6;
    const long long openStall = watchdog.LongestStallMs();
    // The peer runs on this thread: not counted as a stall.
    const double toolsMs = ToolMs("ffprobe", { "-v", "error", "-show_format", "-show_streams", movie })
        + ToolMs("ffmpeg", { "-v", "error", "-nostdin", "-i", movie, "-frames:v", "1", "-f", "null", "-" });

    // The drag: the right mark from 1 s to the end, one move per 1/60 s.
    watchdog.Restart();
    PaintWatch watch(*pane.view());
    watch.Start();
    double min = 0, max = 0;
    long long pauseStall = 0;
    pane.rangeSlider()->GetMinMax(min, max);
    const double from = 1.0, to = std::max(from + 1, max - 0.5);
    for (int i = 0; i < moves; ++i) {
        const double at = from + (to - from) * i / (moves - 1);
        pane.rangeSlider()->SetRange(0, at);
        watch.Moved(REFERENCE_TIME(std::int64_t(at * 1000)) * 10000);
        SendMessage(&pane, msg::RangeChanged, 1, 0);
        Wait(kMoveMs);
        if (i == 0) {
            // The first move pauses the playing movie: its own figure.
            pauseStall = watchdog.LongestStallMs();
            watchdog.Restart();
        }
    }
    QElapsedTimer settle;
    settle.start();
    while (watch.waiting() && settle.elapsed() < 3000)
        Wait(5);
    const long long dragStall = watchdog.LongestStallMs();
    pane.view()->Close();

    // The spectrum alone, animating for three seconds.
    CCW_AudioSpectrum spectrum(ResourceLookup(), nullptr, QString());
    spectrum.resize(200, 60);
    spectrum.show();
    // The process idle, then with the spectrum: the difference is its cost.
    const auto cpuShare = [](const std::function<void()>& during) {
        const double cpu0 = ProcessCpuMs();
        QElapsedTimer wall;
        wall.start();
        during();
        return (ProcessCpuMs() - cpu0) / double(wall.elapsed()) * 100.0;
    };
    const double idle = cpuShare([] { Wait(3000); });
    const double share = cpuShare([&] {
        spectrum.StartSpectrum();
        Wait(3000);
        spectrum.StopSpectrum();
    }) - idle;

    std::vector<double> l = watch.latencies;
    std::sort(l.begin(), l.end());
    const auto pct = [&](double p) { return l.empty() ? 1e9 : l[std::size_t(p * double(l.size() - 1))]; };
    std::printf("moves %d, painted %zu, unpainted %zu\n", moves, l.size(), watch.waiting());
    std::printf("seek latency: median %.1f ms, p95 %.1f ms\n", pct(0.5), pct(0.95));
    std::printf("OPEN_TO_FIRST_FRAME_MS %.1f\nFFPROBE_PLUS_FFMPEG_MS %.1f\nOPEN_RATIO %.2f\n", openMs, toolsMs,
        openMs / toolsMs);
    std::printf("UI_STALL_MAX_MS_OPEN %lld\nUI_STALL_MAX_MS_PAUSE %lld\nUI_STALL_MAX_MS_DRAG %lld\n", openStall,
        pauseStall, dragStall);
    std::printf("UI_STALL_MAX_MS %lld\n", std::max({ openStall, pauseStall, dragStall }));
    std::printf("SPECTRUM_CPU_PERCENT %.2f\n", share);
    std::printf("RATIO %.2f\n", pct(0.95) / kTargetMs);
    return 0;
}
