#include "ott_timeline.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace ott {
namespace {

constexpr std::int64_t kMicros = 1000000;
// Callback times beyond this (three hours, the longest sound an encode takes)
// are taken as this, so a wild time cannot make the picture endless.
constexpr std::int64_t kLatestCallbackTime = 3LL * 3600 * kMicros;

} // namespace

FramePlacer::FramePlacer(int frameCount, std::int64_t soundSamples, int sampleRate)
    : frameCount_(frameCount)
    , soundSamples_(soundSamples)
    , sampleRate_(sampleRate)
    , fromSound_(frameCount > 0 && soundSamples > 0 && sampleRate > 0)
{ }

std::int64_t FramePlacer::place(int index, int callbackMs)
{
    std::int64_t t = 0;
    if (fromSound_)
        t = av_rescale_rnd(index, soundSamples_ * kMicros, std::int64_t(frameCount_) * sampleRate_, AV_ROUND_NEAR_INF);
    else
        t = std::min(std::int64_t(std::max(callbackMs, 0)) * 1000, kLatestCallbackTime);
    if (placed_ == 0)
        first_ = t;
    else
        t = std::max(t, last_);
    last_ = t;
    ++placed_;
    return t;
}

std::int64_t FramePlacer::length(std::int64_t outputStep) const
{
    if (fromSound_ || (placed_ == 0 && soundSamples_ > 0 && sampleRate_ > 0))
        return av_rescale_rnd(soundSamples_, kMicros, sampleRate_, AV_ROUND_NEAR_INF);
    if (placed_ == 0)
        return 0;
    const std::int64_t samplingStep = placed_ > 1 ? (last_ - first_) / (placed_ - 1) : outputStep;
    return last_ + std::max<std::int64_t>(samplingStep, 1);
}

PicturePicker::PicturePicker(AVRational rate)
    : rate_(rate)
{ }

std::int64_t PicturePicker::instant(std::int64_t k) const
{
    return av_rescale_rnd(k, kMicros * rate_.den, rate_.num, AV_ROUND_NEAR_INF);
}

PicturePicker::Split PicturePicker::arrive(bool haveHeld, std::int64_t heldTime, std::int64_t t)
{
    Split split;
    while (instant(next_) <= t) {
        const std::int64_t at = instant(next_);
        // Ties go to the earlier frame: a moment is not shown before it happened.
        if (haveHeld && at - heldTime <= t - at)
            ++split.held;
        else
            ++split.incoming;
        ++next_;
    }
    return split;
}

std::int64_t PicturePicker::finish(std::int64_t length)
{
    const std::int64_t total = InstantCount(rate_, length);
    const std::int64_t rest = std::max<std::int64_t>(total - next_, 0);
    next_ += rest;
    return rest;
}

std::int64_t InstantCount(AVRational rate, std::int64_t length)
{
    // Instants k with k / rate < length.
    const std::int64_t n = av_rescale_rnd(length, rate.num, kMicros * rate.den, AV_ROUND_UP);
    return std::max<std::int64_t>(n, 1);
}

} // namespace ott
