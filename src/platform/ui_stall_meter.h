// How responsive the UI thread is: a 5 ms timer on the UI thread whose
// firings should come one period apart; any longer gap is time in which the
// thread could not answer the user. The meter keeps the longest such gap.
// The ui test programs fail a test on it (tests/support/ui_watchdog.cpp),
// the benchmarks report it (bench/src/ui_watchdog.h) and the host's script
// mode writes it to its state file as uiStallMaxMs.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>

class UiStallMeter : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPeriod { 5 };

    // Starts measuring on the calling thread (the UI thread).
    explicit UiStallMeter(QObject* parent = nullptr);

    // Forgets the longest gap and measures from now.
    void reset();
    // The longest gap beyond the period so far, a firing overdue now
    // included.
    Clock::duration longest() const;
    long long longestMs() const;
    // When the longest gap began.
    Clock::time_point longestFrom() const;
    // The last firing (or reset); safe from any thread.
    Clock::time_point lastTick() const;

private:
    void tick();
    // The gap that ends at now, and where it began.
    Clock::duration gapAt(Clock::time_point now, Clock::time_point* from) const;

    QTimer timer_;
    std::atomic<Clock::rep> lastTick_ { 0 };
    Clock::duration longest_ {};
    Clock::time_point longestFrom_;
};

// Work done on the UI thread on purpose (a test making media with the ffmpeg
// command, a benchmark's setup) is no stall: no gap counts while one of
// these lives, nor the time before it ended.
class UiStallAllowance {
public:
    UiStallAllowance();
    ~UiStallAllowance();
    UiStallAllowance(const UiStallAllowance&) = delete;
    UiStallAllowance& operator=(const UiStallAllowance&) = delete;

    // Whether one lives now, and when the last one ended.
    static bool Active();
    static UiStallMeter::Clock::time_point LastEnd();
};
