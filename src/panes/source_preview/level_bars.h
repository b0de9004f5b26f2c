// CCW_AudioSpectrum: the ten animated level bars shown below the picture
// while a sound source plays in the source preview. The bars are driven by
// pseudo-random heights with a hold-and-fall rule; the sound itself is not
// analysed.
//
// A drawing worker at the lowest priority makes one frame every 50 ms (new
// heights, then the fall) and posts it to the window; the window paints the
// last frame it was given, so a repaint never makes the bars fall. While the
// worker runs, the recording source is switched to the mix of what plays,
// and back to the microphone when it ends, so that voice recording finds the
// microphone selected. The mixer is opened and switched on the worker only:
// a sound server may be slow to answer. Without a source-selection control
// the bars still animate and the recording source is never touched.
//
// After StopSpectrum a timer lets the bars fall one step per tick until all
// are down; a tick with every height at 0 draws the background alone and
// ends the timer.
#pragma once

#include "platform/system_volume.h"
#include "skin/skin_bitmap.h"

#include <QBasicTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The heights (0..29) and hold counters (0..6) of the ten bars, shared by
// the worker and the UI thread.
class CSpectrumBars {
public:
    static constexpr int kCount = 10;
    static constexpr int kLevels = 30;
    static constexpr int kHoldLimit = 6;
    using Frame = std::array<int, kCount>;

    // One step: for each bar r = next() mod 30; a value above the bar's
    // height is taken only when the hold counter has reached 6 (which then
    // restarts at 0), otherwise the counter grows by 1.
    void Step(const std::function<int()>& next);
    // Every height above 0 decreases by 1.
    void Fall();
    Frame Heights() const;
    int Hold(int bar) const { return holds_[std::size_t(bar)].load(std::memory_order_relaxed); }

private:
    std::array<std::atomic<int>, kCount> heights_ {};
    std::array<std::atomic<int>, kCount> holds_ {};
};

class CCW_AudioSpectrum : public QWidget {
public:
    static constexpr int kFrameMs = 50;
    static constexpr int kMinIterationMs = 6;
    static constexpr int kStopWaitMs = 1000;
    static constexpr QSize kSegment { 9, 4 };

    // Loads BACK, TICK1 and TICK2 of "CW_PREVIEWVIDEO_IMG_SPECTRUM" and seeds
    // rand() with the time. mixerDevice names the ALSA device of the
    // recording-source switch (empty: none).
    CCW_AudioSpectrum(const ResourceLookup& lookup, QWidget* parent = nullptr,
        const QString& mixerDevice = QStringLiteral("default"));
    ~CCW_AudioSpectrum() override;

    // Starts the worker (nothing when it runs already).
    void StartSpectrum();
    // Ends the worker, waiting at most kStopWaitMs for it, and lets the bars
    // fall on a timer of intervalMs.
    void StopSpectrum(int intervalMs = 25);
    // Puts the microphone back as recording source: the worker does so as
    // it ends, so this ends a worker that still runs.
    void RestoreMicSource();

    bool IsRunning() const { return thread_.joinable() && !stopped_.load(); }
    bool IsFalling() const { return fallTimer_.isActive(); }
    // 1 when the worker found a source-selection control, 0 when it found
    // none, -1 before it looked.
    int MixerAvailable() const { return mixerAvailable_.load(); }
    CSpectrumBars& bars() { return bars_; }
    // The frame painted last.
    const CSpectrumBars::Frame& shownFrame() const { return shown_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void Run();
    void ShowFrame(const CSpectrumBars::Frame& frame);
    void JoinIfEnded();

    CSpectrumBars bars_;
    CSpectrumBars::Frame shown_ {};
    SkinBitmap back_, top_, body_;
    QString mixerDevice_;
    CCaptureSourceCtrl source_; // worker only
    std::atomic<int> mixerAvailable_ { -1 };
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false; // under mutex_
    std::atomic<bool> stopped_ { true };
    QBasicTimer fallTimer_;
};
