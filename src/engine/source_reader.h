// Sequential readers of one media file for the render engine: a video reader
// that hands out the decoded frame shown at a media time, and an audio reader
// that delivers the file's sound from a media time on, resampled to the
// group's PCM format. Both decode forward and seek only when asked for a time
// behind them or far ahead. A file that cannot be opened, or has no stream of
// the reader's kind, gives no frames and no samples (black and silence).
#pragma once

#include "engine/timeline_model.h"
#include "platform/c_handles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

class CSourceDecoder {
public:
    // kind: AVMEDIA_TYPE_VIDEO or AVMEDIA_TYPE_AUDIO.
    CSourceDecoder(const QString& path, int kind);
    bool ok() const { return codec_ != nullptr; }

protected:
    // Reads the next decoded frame into frame; false at the end or on a
    // broken file.
    bool decodeNext(AVFrame* frame);
    bool seek(REFTIME100NS mediaTime);
    // Whether the frame of a packet can be needed; a packet that cannot be
    // is decoded only if other frames refer to it.
    virtual bool packetNeeded(const AVPacket&) const { return true; }
    // A packet or frame time in the stream's time base, from the start of the file.
    REFTIME100NS streamTime(std::int64_t ts) const;
    // The frame's time from the start of the file, in 100 ns units.
    REFTIME100NS frameTime(const AVFrame* frame) const;

    FfPtr<AVFormatContext> format_;
    FfPtr<AVCodecContext> codec_;
    FfPtr<AVPacket> packet_;
    int stream_ = -1;
    bool eof_ = false;
    bool drained_ = false;
    int errors_ = 0;
    REFTIME100NS lastTime_ = 0;
};

class CSourceVideoReader : public CSourceDecoder {
public:
    // Answers whether any later frameAt call will ask for a time in [from, to).
    using WantedTimes = std::function<bool(REFTIME100NS from, REFTIME100NS to)>;

    explicit CSourceVideoReader(const QString& path);
    // With the times known, frames that no call will show are not decoded
    // unless other frames need them (constant frame rate streams only).
    void setWantedTimes(WantedTimes wanted);
    // The frame shown at mediaTime: the last one starting at or before it
    // (the first frame before the stream starts, the last after it ends).
    // Null when the file gives no pictures.
    const AVFrame* frameAt(REFTIME100NS mediaTime);

protected:
    bool packetNeeded(const AVPacket& packet) const override;

private:
    WantedTimes wanted_;
    bool constantRate_ = false;
    FfPtr<AVFrame> current_;
    FfPtr<AVFrame> pending_;
    REFTIME100NS currentTime_ = 0;
    REFTIME100NS pendingTime_ = 0;
    bool hasCurrent_ = false;
    bool hasPending_ = false;
    bool started_ = false;
};

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
