#include "ui_watchdog.h"

#include <atomic>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_depth { 0 };
std::atomic<Clock::rep> g_lastEnd { 0 };

} // namespace

UiStallAllowance::UiStallAllowance()
{
    g_depth.fetch_add(1);
}

UiStallAllowance::~UiStallAllowance()
{
    g_lastEnd.store(Clock::now().time_since_epoch().count());
    g_depth.fetch_sub(1);
}

bool UiStallAllowance::Active()
{
    return g_depth.load() > 0;
}

Clock::time_point UiStallAllowance::LastEnd()
{
    return Clock::time_point(Clock::duration(g_lastEnd.load()));
}
