// CSourceAudioReader: the sound of one media file from a media time on,
// resampled to a 16-bit PCM format, for the render engine and the playback
// graph's file feeds. It decodes forward and seeks only when started at
// another time. A file that cannot be opened, or has no sound stream that
// CMediaSource picks, gives silence.
//
// Not thread-safe: one thread at a time (any thread).
#pragma once

#include "engine/source_decoder.h"

#include <vector>

struct SwrContext;

class CSourceAudioReader : public CSourceDecoder {
public:
    CSourceAudioReader(const QString& path, int sampleRate, int channels);
    // Positions the reader at mediaTime.
    void start(REFTIME100NS mediaTime);
    // Sample frames delivered since start().
    std::int64_t position() const { return delivered_; }
    // Fills dst with count sample frames; past the end of the sound the rest
    // is silence.
    void read(std::int16_t* dst, int count);
    // Skips count sample frames.
    void skip(std::int64_t count);

private:
    bool refill();

    int rate_;
    int channels_;
    FfPtr<SwrContext> swr_;
    FfPtr<AVFrame> frame_;
    std::vector<std::int16_t> fifo_;
    std::size_t fifoRead_ = 0;
    std::int64_t dropUntil_ = 0; // output-rate sample index where delivery starts
    std::int64_t fifoPosition_ = -1; // sample index of fifo_[fifoRead_], -1 before the first frame
    std::int64_t delivered_ = 0;
    bool swrReady_ = false;
};
