#include "platform/ui_stall_meter.h"

#include <algorithm>

namespace {

using Clock = UiStallMeter::Clock;

std::atomic<int> g_allowanceDepth { 0 };
std::atomic<Clock::rep> g_allowanceEnd { 0 };

} // namespace

UiStallMeter::UiStallMeter(QObject* parent)
    : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    reset();
    timer_.start(kPeriod);
}

void UiStallMeter::reset()
{
    longest_ = {};
    longestFrom_ = Clock::now();
    lastTick_.store(longestFrom_.time_since_epoch().count());
}

Clock::time_point UiStallMeter::lastTick() const
{
    return Clock::time_point(Clock::duration(lastTick_.load()));
}

Clock::duration UiStallMeter::gapAt(Clock::time_point now, Clock::time_point* from) const
{
    if (UiStallAllowance::Active())
        return {};
    const Clock::time_point begin = std::max(lastTick(), UiStallAllowance::LastEnd());
    *from = begin;
    return now - begin > kPeriod ? now - begin - kPeriod : Clock::duration {};
}

void UiStallMeter::tick()
{
    const Clock::time_point now = Clock::now();
    Clock::time_point from;
    const Clock::duration gap = gapAt(now, &from);
    if (gap > longest_) {
        longest_ = gap;
        longestFrom_ = from;
    }
    lastTick_.store(now.time_since_epoch().count());
}

Clock::duration UiStallMeter::longest() const
{
    Clock::time_point from;
    return std::max(longest_, gapAt(Clock::now(), &from));
}

long long UiStallMeter::longestMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest()).count();
}

Clock::time_point UiStallMeter::longestFrom() const
{
    Clock::time_point from;
    return gapAt(Clock::now(), &from) > longest_ ? from : longestFrom_;
}

UiStallAllowance::UiStallAllowance()
{
    g_allowanceDepth.fetch_add(1);
}

UiStallAllowance::~UiStallAllowance()
{
    g_allowanceEnd.store(Clock::now().time_since_epoch().count());
    g_allowanceDepth.fetch_sub(1);
}

bool UiStallAllowance::Active()
{
    return g_allowanceDepth.load() > 0;
}

Clock::time_point UiStallAllowance::LastEnd()
{
    return Clock::time_point(Clock::duration(g_allowanceEnd.load()));
}
