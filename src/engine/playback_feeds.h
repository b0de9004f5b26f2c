// The feeds of a playback graph: where its streaming threads get each
// picture and each run of sound they deliver to the graph's source pins.
// File graphs read the file (playback_file_feeds.h); timeline graphs ask the
// render engine's group renderers (playback_timeline_graph.cpp).
//
// A feed is used by one thread at a time: a streaming thread while the graph
// runs, the thread that owns the graph while it does not.
#pragma once

#include "platform/media/filter_graph.h"

#include <cstdint>

// One picture stream, rendered frame by frame.
class CPlaybackVideoFeed {
public:
    virtual ~CPlaybackVideoFeed() = default;
    virtual std::int64_t count() const = 0;
    virtual REFERENCE_TIME time(std::int64_t index) const = 0;
    // Writes frame index into dst (the pin's sample size).
    virtual void render(std::int64_t index, std::uint8_t* dst) = 0;

    // The last frame starting at or before t (the first before the start,
    // the last after the end).
    std::int64_t indexAt(REFERENCE_TIME t) const
    {
        std::int64_t lo = 0, hi = count() - 1;
        if (hi <= 0 || t <= time(0))
            return 0;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo + 1) / 2;
            if (time(mid) <= t)
                lo = mid;
            else
                hi = mid - 1;
        }
        return lo;
    }

    CBaseOutputPin* pin = nullptr;
    std::int32_t sampleSize = 0;
};

// One sound stream, rendered in runs of 16-bit sample frames.
class CPlaybackAudioFeed {
public:
    virtual ~CPlaybackAudioFeed() = default;
    virtual std::int64_t count() const = 0;
    virtual void render(std::int64_t first, int frames, std::int16_t* dst) = 0;

    CBaseOutputPin* pin = nullptr;
    int rate = 0;
    int channels = 0;
};
