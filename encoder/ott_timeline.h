// The movie's timeline as the encoder writes it: where each sampled frame
// belongs in movie time, and which of them the picture shows at each instant
// of the output frame rate.
//
// The save flow samples the movie at its own step (0.1 s) but reports frame i
// at i / (the settings block's frame rate), not when it happened: taken as
// presentation times, those would stretch the picture away from the sound.
// The sound is the movie's true length, so with sound the frames are spread
// evenly over it; only without sound are the callback times all there is.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace ott {

// Times are in microseconds of movie time.
class FramePlacer {
public:
    // With sound: frameCount frames sampled evenly over soundSamples at
    // sampleRate. Without sound (soundSamples 0 or frameCount 0) the times the
    // callback reports are used.
    FramePlacer(int frameCount, std::int64_t soundSamples, int sampleRate);

    // Movie time of sampled frame index; callbackMs is what the callback
    // reported for it. Never earlier than the previous frame's time.
    std::int64_t place(int index, int callbackMs);

    // Length of the movie: the sound's, or without sound the last frame's
    // time plus one sampling step (outputStep when only one frame came).
    std::int64_t length(std::int64_t outputStep) const;

private:
    int frameCount_;
    std::int64_t soundSamples_;
    int sampleRate_;
    bool fromSound_;
    int placed_ = 0;
    std::int64_t first_ = 0;
    std::int64_t last_ = 0;
};

// Picks, for each output instant k / rate, the sampled frame nearest to it.
// Frames come one at a time in order; the picker says how many instants each
// one settles.
class PicturePicker {
public:
    explicit PicturePicker(AVRational rate);

    // Time of output instant k.
    std::int64_t instant(std::int64_t k) const;
    // Output duration of one instant.
    std::int64_t step() const { return instant(1); }

    // A new sampled frame at time t arrived while the frame at heldTime (if
    // any) is held. Returns how many of the next instants show the held frame
    // (first) and how many the new frame (second); both advance the picker.
    struct Split {
        std::int64_t held = 0;
        std::int64_t incoming = 0;
    };
    Split arrive(bool haveHeld, std::int64_t heldTime, std::int64_t t);

    // After the last frame: instants before the movie's end, all for the held frame.
    std::int64_t finish(std::int64_t length);

    std::int64_t next() const { return next_; }

private:
    AVRational rate_;
    std::int64_t next_ = 0; // the first instant not yet settled
};

// Number of output instants that cover a movie of the given length (at least one).
std::int64_t InstantCount(AVRational rate, std::int64_t length);

} // namespace ott
