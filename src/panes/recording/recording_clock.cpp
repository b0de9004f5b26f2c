#include "panes/recording/recording_clock.h"

#include <algorithm>

void CRecordingClock::Start(std::int64_t start)
{
    start_ = start;
    started_ = true;
    paused_ = resumed_ = false;
    lastTenth_ = -1;
}

void CRecordingClock::Pause(std::int64_t now)
{
    if (paused_)
        return;
    pauseTick_ = now;
    paused_ = true;
}

void CRecordingClock::Resume()
{
    if (paused_)
        resumed_ = true;
}

void CRecordingClock::Reset()
{
    *this = CRecordingClock();
}

std::optional<CRecordingClock::Reading> CRecordingClock::Tick(std::int64_t now)
{
    if (!started_)
        return std::nullopt;
    if (resumed_) {
        // Before the start the pause counts only from the start.
        start_ += now - std::max(pauseTick_, start_);
        resumed_ = paused_ = false;
    }
    if (paused_)
        return std::nullopt;
    const std::int64_t elapsed = std::max<std::int64_t>(0, now - start_);
    const std::int64_t tenth = elapsed / 100;
    if (tenth == lastTenth_)
        return std::nullopt;
    lastTenth_ = tenth;
    const std::int64_t seconds = elapsed / 1000;
    const int tenths = int((elapsed % 1000) / 100);
    return Reading { TimeText(elapsed, true), int((seconds * 10 + tenths) % kSliderRange) };
}

QString CRecordingClock::TimeText(std::int64_t ms, bool tenths)
{
    const std::int64_t seconds = ms / 1000;
    QString text = QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
        static_cast<long long>((seconds % 3600) / 60), static_cast<long long>(seconds % 60));
    if (tenths)
        text += QString::asprintf(".%.1d", int((ms % 1000) / 100));
    return text;
}
