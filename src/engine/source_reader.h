// CSourceVideoReader: the one reader of a media file's pictures. It hands out
// the decoded frame shown at a media time (the last frame starting at or
// before it), decoding forward from where the last request stopped; a
// request behind the last one, or far ahead of it (past the next key frame),
// seeks. The media detector, the render engine and the playback graph's file
// feeds all read pictures through it.
//
// With an intra-only codec the frames no request shows are not decoded at
// all (a packet followed by one that is still due is passed over). With the
// wanted times known (constant frame rate streams), frames that no request
// will show are decoded only if other frames need them. For small pictures
// of large frames a codec that can decode at 1/2, 1/4 or 1/8 size does so.
//
// A file that cannot be opened, or has no picture stream, gives no frames.
// Not thread-safe: one thread at a time (any thread).
#pragma once

#include "engine/source_decoder.h"

#include <functional>

class CSourceVideoReader : public CSourceDecoder {
public:
    // Answers whether any later frameAt call will ask for a time in [from, to).
    using WantedTimes = std::function<bool(REFTIME100NS from, REFTIME100NS to)>;

    // The picture stream CMediaSource picks from the file at path.
    explicit CSourceVideoReader(const QString& path);
    // Picture stream `stream` of an opened source (shared with its other
    // users, which must not read packets meanwhile).
    CSourceVideoReader(std::shared_ptr<CMediaSource> source, int stream);

    // With the times known, frames that no call will show are not decoded
    // unless other frames need them (constant frame rate streams only).
    void setWantedTimes(WantedTimes wanted);
    // The frames are wanted at width x height or smaller: codecs that can
    // decode at reduced size do so while the picture stays at least that
    // large (a change starts again from the beginning of the stream).
    void setTargetSize(int width, int height);
    // The frame shown at mediaTime: the last one starting at or before it
    // (the first frame before the stream starts, the last after it ends).
    // Null when the file gives no pictures, or when the frame lies behind
    // the last request and the file cannot seek.
    const AVFrame* frameAt(REFTIME100NS mediaTime);

protected:
    bool packetNeeded(const AVPacket& packet) const override;

private:
    void forget();
    const AVFrame* frameAtIntra(REFTIME100NS t);
    const AVFrame* frameAtSequential(REFTIME100NS t);

    WantedTimes wanted_;
    bool constantRate_ = false;
    FfPtr<AVFrame> current_;
    FfPtr<AVFrame> pending_;
    REFTIME100NS currentTime_ = 0;
    REFTIME100NS pendingTime_ = 0;
    bool hasCurrent_ = false;
    bool hasPending_ = false;
    bool started_ = false;
    // Intra-only streams: the look-ahead packet and the one after it.
    FfPtr<AVPacket> held_;
    FfPtr<AVPacket> next_;
    REFTIME100NS heldTime_ = 0;
    bool hasHeld_ = false;
};
