// The timeline's horizontal scale: how the zoom value of the edit menu maps
// to pixels per second, quarter minute or minute, where a clip's box lies,
// how wide the scrollable strip is, and which zoom value fits a movie into a
// window. Pixel positions are 64-bit so that clips near 2^32 ms never wrap.
#pragma once

#include <cstdint>
#include <optional>

// Zoom values of the edit menu's slider.
inline constexpr int kZoomMin = 4;
inline constexpr int kZoomMax = 66;
inline constexpr int kZoomDefault = 38;

struct TimelineScale {
    int zoomLevel = 0; // 0 seconds, 1 quarter minutes, 2 minutes
    int pixelsPerSecond = 4;
    int pixelsPerQuarterMinute = 60;
    int pixelsPerMinute = 240;

    // Takes a zoom value: [2, 20) minutes, [20, 40) quarter minutes, from 40
    // seconds. False, and nothing changes, below 2.
    bool SetZoom(std::int64_t zoom);
    // The unit of the current level in ms and its width in pixels.
    std::int64_t unitMs() const;
    int pixelsPerUnit() const;
    // Integer ms per pixel, as the trim drag moves clip edges.
    std::int64_t msPerPixel() const;
    // A time as a pixel column from the timeline's start (truncated).
    std::int64_t ToPixels(std::int64_t ms) const;
    // A pixel column back to a time.
    std::int64_t ToMs(std::int64_t pixels) const;
};

// A clip's horizontal extent in timeline pixels: x from its start, width at
// least 2 so that a short clip stays visible.
struct ClipSpan {
    std::int64_t x = 0;
    std::int64_t width = 0;
};
ClipSpan SpanOf(const TimelineScale& scale, std::uint32_t timelineStart, std::uint32_t length);

// Pixels of 9000 seconds at the zoom value, at most 32766.
int ScrollExtent(int zoom);

// The zoom value that shows a movie whose longest track ends at endMs in
// clientWidth pixels; none when no scale fits (the caller keeps its zoom).
std::optional<int> ZoomToFit(std::int64_t endMs, int clientWidth);

// The playback marker the ruler and the track views draw follows two
// messages: a seek (0x5353) shows it at lParam (a negative one keeps its
// place), 0x5354 shows it at lParam while wParam is non-zero, else hides it.
// False for any other message.
bool FollowMarker(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, bool& shown, std::int64_t& position);
