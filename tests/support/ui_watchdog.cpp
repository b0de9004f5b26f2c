// The UI-thread watchdog (see ui_watchdog.h). A static object appends it to
// GoogleTest's listeners, so linking this file is all a program needs; the
// ui programs link it (tests/CMakeLists.txt).
#include "ui_watchdog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = UiStallMeter::Clock;
using std::chrono::milliseconds;

// A UI thread silent this long is reported at once (the test may never end).
constexpr milliseconds kHangReport { 10000 };
constexpr milliseconds kHangCheckEvery { 500 };

// How much slower the build's sanitizers make the code under test.
int SanitizerFactor()
{
#ifdef CW_SANITIZE
    const QByteArray sanitizers = CW_SANITIZE;
    if (sanitizers.contains("thread"))
        return 10;
    if (sanitizers.contains("address") || sanitizers.contains("memory"))
        return 5;
    if (!sanitizers.isEmpty())
        return 2;
#endif
    return 1;
}

int LimitMs()
{
    constexpr int kDefaultMs = 100;
    bool given = false;
    const int base = qEnvironmentVariableIntValue("CW_UI_STALL_MS", &given);
    return (given ? std::max(base, 0) : kDefaultMs) * SanitizerFactor();
}

long long Ms(Clock::duration d)
{
    return std::chrono::duration_cast<milliseconds>(d).count();
}

class UiWatchdog : public ::testing::EmptyTestEventListener {
public:
    UiWatchdog()
        : limitMs_(LimitMs())
    { }
    ~UiWatchdog() override { Stop(); }

    void OnTestProgramStart(const ::testing::UnitTest&) override
    {
        if (limitMs_ > 0 && QCoreApplication::instance() && !meter_) {
            meter_ = std::make_unique<UiStallMeter>();
            thread_ = std::thread([this] { WatchForHangs(); });
        }
    }
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        if (!meter_)
            return;
        meter_->reset();
        std::lock_guard lock(mutex_);
        test_ = std::string(info.test_suite_name()) + "." + info.name();
        testStart_ = Clock::now();
        measuring_ = true;
        hangReported_ = false;
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        if (!meter_)
            return;
        Clock::time_point start;
        {
            std::lock_guard lock(mutex_);
            measuring_ = false;
            start = testStart_;
        }
        // A firing still due counts up to now.
        const Clock::duration longest = meter_->longest();
        if (longest > milliseconds(limitMs_)) {
            ADD_FAILURE() << "The UI thread stalled for " << Ms(longest) << " ms (longest stall, from "
                          << Ms(meter_->longestFrom() - start) << " ms into the test; the limit is " << limitMs_
                          << " ms, CW_UI_STALL_MS sets it). Slow work belongs off the UI thread.";
        }
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { Stop(); }

private:
    // On its own thread: reports a UI thread that has not come back for
    // long, while the test is still running.
    void WatchForHangs()
    {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            wake_.wait_for(lock, kHangCheckEvery);
            const Clock::duration silent = Clock::now() - std::max(meter_->lastTick(), testStart_);
            if (measuring_ && !hangReported_ && !UiStallAllowance::Active() && silent > kHangReport) {
                hangReported_ = true;
                std::fprintf(stderr, "[ui watchdog] %s: the UI thread has not answered for %lld ms\n", test_.c_str(),
                    Ms(silent));
            }
        }
    }
    void Stop()
    {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stop_ = true;
            }
            wake_.notify_all();
            thread_.join();
        }
        meter_.reset();
    }

    const int limitMs_;
    std::unique_ptr<UiStallMeter> meter_;
    std::thread thread_;
    std::mutex mutex_; // guards what follows, shared with the hang thread
    std::condition_variable wake_;
    bool stop_ = false;
    bool measuring_ = false;
    bool hangReported_ = false;
    std::string test_;
    Clock::time_point testStart_;
};

// GoogleTest owns the listener from here on.
[[maybe_unused]] const bool g_installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new UiWatchdog);
    return true;
}();

} // namespace
