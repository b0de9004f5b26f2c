// Timeline responsiveness: 2,000 sound clips on the audio track of a timeline
// window (1000 pixels wide, offscreen). Synthetic events sweep the zoom from
// 4 to 66, scroll across the whole extent, trim clip edges and move clips;
// each event is handled and the three tracks painted before the next, with
// the event loop turning in between. The time from an event to the end of
// its paint is collected; the last lines are the UI thread's longest stall
// and "RATIO <p95 event-to-paint time / 16 ms>". Given a long MP3, the media
// menu's AudioOpen then reads its playing time while the tracks keep being
// painted, and the longest stall of that phase is printed as well.
//
// Usage: bench_timeline [CLIPS [MP3]]   (default 2000 clips, no MP3)
#include "engine/media_probe.h"
#include "panes/timeline/media_menu.h"
#include "panes/timeline/timeline_view.h"
#include "panes/timeline/timeline_window.h"
#include "skin/scripted_dialog_service.h"
#include "ui_watchdog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double kFrameMs = 16.0;

class Timer {
public:
    explicit Timer(CCW_TimeLineWnd& window)
        : window_(window)
    { }
    // Runs one event and paints the tracks, timing both.
    template <typename Event> void Run(Event event)
    {
        QElapsedTimer t;
        t.start();
        event();
        for (int i = 0; i < kTrackCount; ++i)
            window_.view(i)->repaint();
        times_.push_back(double(t.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    double Percentile(double p)
    {
        std::sort(times_.begin(), times_.end());
        return times_.empty() ? 0 : times_[std::size_t(p * double(times_.size() - 1))];
    }
    std::size_t count() const { return times_.size(); }

private:
    CCW_TimeLineWnd& window_;
    std::vector<double> times_;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int clips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

    CCW_TimeLineWnd window(nullptr);
    window.resize(1000, 230);
    window.show();
    for (int i = 0; i < clips; ++i) {
        CMediaFile clip(QString("/bench/clip%1.mp3").arg(i), 2000 + std::uint32_t(i % 7) * 1500, 0, 0, ClipKind::Sound);
        SendMessage(&window, msg::ClipToTimeline, 0, ToLParam(&clip));
    }
    QCoreApplication::processEvents();
    CCW_TimeLineView* audio = window.view(kAudioTrack);

    UiWatchdog watchdog;
    Timer timer(window);
    for (int z = 4; z <= 66; ++z)
        timer.Run([&] { SendMessage(&window, msg::SetZoom, 0, z); });
    SendMessage(&window, msg::SetZoom, 0, 38);
    QScrollBar* bar = window.scrollBar();
    for (int v = 0; v <= bar->maximum(); v += std::max(1, bar->maximum() / 200))
        timer.Run([&] { bar->setValue(v); });
    bar->setValue(0);
    for (int i = 0; i < 200; ++i) {
        const std::size_t pos = std::size_t(i) % audio->track().size();
        timer.Run([&] {
            audio->track().TrimClip(pos, i % 2 == 0, i % 4 < 2 ? 300 : -300);
            audio->Repaint();
        });
    }
    for (int i = 0; i < 200; ++i) {
        timer.Run([&] {
            CClipTrack& track = audio->track();
            track.ClearSelection();
            const std::size_t pos = std::size_t(i * 7) % track.size();
            track.at(pos).SetSelected(true);
            track.SetSelectedPos(pos);
            if (i % 2)
                audio->MoveForward();
            else
                audio->MoveBackward();
        });
    }
    const double p50 = timer.Percentile(0.5);
    const double p95 = timer.Percentile(0.95);
    std::printf("events %zu, clips %d\n", timer.count(), clips);
    std::printf("event to paint: median %.3f ms, p95 %.3f ms\n", p50, p95);
    watchdog.Print();

    if (argc > 2) {
        // AudioOpen of the long file: the length is read by the helper
        // program off the UI thread while the view keeps scrolling.
        ScriptedDialogService dialogs;
        dialogs.pushPath(QString::fromLocal8Bit(argv[2]));
        CMediaProbe probe;
        PaneContext context;
        context.dialogs = &dialogs;
        context.probe = &probe;
        context.mainFrame = &window;
        CCW_MediaMenuWnd menu(context, &window);
        const std::size_t before = audio->track().size();
        QElapsedTimer opening;
        opening.start();
        UiWatchdog openWatchdog;
        menu.RunCommand(CCW_MediaMenuWnd::kAudioOpen);
        for (int v = 0; audio->track().size() == before && opening.elapsed() < 60000; ++v) {
            bar->setValue(v % (bar->maximum() + 1));
            audio->repaint();
            QCoreApplication::processEvents();
        }
        const bool added = audio->track().size() > before;
        std::printf("AudioOpen of the long MP3: %s in %lld ms, clip %u ms\n", added ? "added" : "NOT added",
            opening.elapsed(), added ? audio->track().at(audio->track().size() - 1).length() : 0u);
        std::printf("UI_STALL_MAX_MS_AUDIO_OPEN %lld\n", openWatchdog.LongestStallMs());
    }
    std::printf("RATIO %.3f\n", p95 / kFrameMs);
    return 0;
}
