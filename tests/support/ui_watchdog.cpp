// The UI-thread watchdog (see ui_watchdog.h). A static object appends it to
// GoogleTest's listeners, so linking this file is all a program needs; the
// ui programs link it (tests/CMakeLists.txt).
#include "ui_watchdog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPingEvery { 5 };
// A UI thread silent this long is reported at once (the test may never end).
constexpr milliseconds kHangReport { 10000 };

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

// What the watchdog thread and the UI thread share (under mutex).
struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool measuring = false; // between the start and the end of a test
    std::string test;
    Clock::time_point testStart;
    bool pingOut = false;
    Clock::time_point pingPosted;
    Clock::duration longest {};
    Clock::time_point longestFrom;
    bool hangReported = false;

    // How long the UI thread has kept the ping waiting at now: not before
    // the test began, not while or before an allowed piece of work.
    Clock::duration Stall(Clock::time_point now, Clock::time_point* from = nullptr) const
    {
        if (!measuring || !pingOut || UiStallAllowance::Active())
            return {};
        const Clock::time_point begin = std::max({ pingPosted, testStart, UiStallAllowance::LastEnd() });
        if (from)
            *from = begin;
        return now > begin ? now - begin : Clock::duration {};
    }
    void Record(Clock::time_point now)
    {
        Clock::time_point from;
        const Clock::duration stall = Stall(now, &from);
        if (stall > longest) {
            longest = stall;
            longestFrom = from;
        }
    }
};

// On the UI thread: the ping's answer.
void Answer(const std::shared_ptr<Shared>& shared)
{
    std::lock_guard lock(shared->mutex);
    shared->Record(Clock::now());
    shared->pingOut = false;
}

void Watch(const std::shared_ptr<Shared>& shared)
{
    std::unique_lock lock(shared->mutex);
    while (!shared->stop) {
        const Clock::time_point now = Clock::now();
        if (shared->measuring && !shared->pingOut) {
            shared->pingOut = true;
            shared->pingPosted = now;
            lock.unlock();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [shared] { Answer(shared); }, Qt::QueuedConnection);
            lock.lock();
        } else if (!shared->hangReported && shared->Stall(now) > kHangReport) {
            shared->hangReported = true;
            std::fprintf(stderr, "[ui watchdog] %s: the UI thread has not answered for %lld ms\n", shared->test.c_str(),
                Ms(shared->Stall(now)));
        }
        shared->wake.wait_for(lock, kPingEvery);
    }
}

class UiWatchdog : public ::testing::EmptyTestEventListener {
public:
    UiWatchdog()
        : limitMs_(LimitMs())
    { }
    ~UiWatchdog() override { Stop(); }

    void OnTestProgramStart(const ::testing::UnitTest&) override
    {
        if (limitMs_ > 0 && QCoreApplication::instance() && !thread_.joinable())
            thread_ = std::thread([shared = shared_] { Watch(shared); });
    }
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        std::lock_guard lock(shared_->mutex);
        shared_->measuring = thread_.joinable();
        shared_->test = std::string(info.test_suite_name()) + "." + info.name();
        shared_->testStart = Clock::now();
        shared_->longest = {};
        shared_->hangReported = false;
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        Clock::duration longest;
        Clock::duration into;
        {
            std::lock_guard lock(shared_->mutex);
            // A ping still waiting counts up to now.
            shared_->Record(Clock::now());
            shared_->measuring = false;
            longest = shared_->longest;
            into = shared_->longestFrom - shared_->testStart;
        }
        if (limitMs_ > 0 && longest > milliseconds(limitMs_)) {
            ADD_FAILURE() << "The UI thread stalled for " << Ms(longest) << " ms (longest stall, from " << Ms(into)
                          << " ms into the test; the limit is " << limitMs_
                          << " ms, CW_UI_STALL_MS sets it). Slow work belongs off the UI thread.";
        }
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { Stop(); }

private:
    void Stop()
    {
        if (!thread_.joinable())
            return;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->stop = true;
        }
        shared_->wake.notify_all();
        thread_.join();
    }

    const int limitMs_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

// GoogleTest owns the listener from here on.
[[maybe_unused]] const bool g_installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new UiWatchdog);
    return true;
}();

} // namespace
