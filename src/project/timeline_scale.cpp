#include "project/timeline_scale.h"

#include "platform/messages.h"

#include <algorithm>

bool TimelineScale::SetZoom(std::int64_t z)
{
    if (z < 2)
        return false;
    if (z < 20) {
        zoomLevel = 2;
        pixelsPerMinute = int(z);
    } else if (z < 40) {
        zoomLevel = 1;
        pixelsPerQuarterMinute = int(z - 6);
    } else {
        zoomLevel = 0;
        pixelsPerSecond = int(std::min<std::int64_t>(z - 34, 1 << 20));
    }
    return true;
}

std::int64_t TimelineScale::unitMs() const
{
    return zoomLevel == 0 ? 1000 : zoomLevel == 1 ? 15000 : 60000;
}

int TimelineScale::pixelsPerUnit() const
{
    const int ppu = zoomLevel == 0 ? pixelsPerSecond : zoomLevel == 1 ? pixelsPerQuarterMinute : pixelsPerMinute;
    return std::max(1, ppu);
}

std::int64_t TimelineScale::msPerPixel() const
{
    return unitMs() / pixelsPerUnit();
}

std::int64_t TimelineScale::ToPixels(std::int64_t ms) const
{
    return ms * pixelsPerUnit() / unitMs();
}

std::int64_t TimelineScale::ToMs(std::int64_t pixels) const
{
    return pixels * unitMs() / pixelsPerUnit();
}

ClipSpan SpanOf(const TimelineScale& scale, std::uint32_t timelineStart, std::uint32_t length)
{
    return { scale.ToPixels(timelineStart), std::max<std::int64_t>(2, scale.ToPixels(length)) };
}

int ScrollExtent(int z)
{
    std::int64_t extent = 0;
    if (z >= 2 && z < 8)
        extent = std::int64_t(z) * 150;
    else if (z >= 8 && z < 36)
        extent = std::int64_t(z - 6) * 600;
    else if (z >= 36)
        extent = std::int64_t(z - 34) * 9000;
    return int(std::min<std::int64_t>(extent, 32766));
}

std::optional<int> ZoomToFit(std::int64_t endMs, int clientWidth)
{
    const std::int64_t w = clientWidth;
    if (endMs <= 0 || w <= 0)
        return std::nullopt;
    // Seconds, then quarter minutes, then minutes; each level's zoom range
    // caps or refuses what it gives. A movie shorter than a unit fits at the
    // largest value of that level.
    const std::int64_t s = endMs / 1000;
    if (s < w && (s == 0 || w / s > 1))
        return int(std::min<std::int64_t>(s == 0 ? kZoomMax : w / s + 34, kZoomMax));
    const std::int64_t q = endMs / 15000;
    if (q < w && w / q > 1) {
        const std::int64_t z = w / q + 6;
        return z > 35 ? std::nullopt : std::optional<int>(int(z));
    }
    const std::int64_t m = endMs / 60000;
    if (m < w && w / m > 1) {
        const std::int64_t z = w / m;
        return z > 19 || z < 2 ? std::nullopt : std::optional<int>(int(z));
    }
    return std::nullopt;
}

bool FollowMarker(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, bool& shown, std::int64_t& position)
{
    if (message == msg::SeekMovie)
        shown = true;
    else if (message == msg::PositionMarker)
        shown = wParam != 0;
    else
        return false;
    if (shown && lParam >= 0)
        position = lParam;
    return true;
}
