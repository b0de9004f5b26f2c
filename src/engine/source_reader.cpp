#include "engine/source_reader.h"

#include "engine/media_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <utility>

namespace {
// Decoding forward is cheaper than seeking for gaps up to this length.
constexpr REFTIME100NS kSeekAhead = 30000000;
} // namespace

CSourceVideoReader::CSourceVideoReader(const QString& path)
    : CSourceDecoder(path, AVMEDIA_TYPE_VIDEO)
    , current_(av_frame_alloc())
    , pending_(av_frame_alloc())
    , held_(av_packet_alloc())
    , next_(av_packet_alloc())
{ }

CSourceVideoReader::CSourceVideoReader(std::shared_ptr<CMediaSource> source, int stream)
    : CSourceDecoder(std::move(source), stream)
    , current_(av_frame_alloc())
    , pending_(av_frame_alloc())
    , held_(av_packet_alloc())
    , next_(av_packet_alloc())
{ }

void CSourceVideoReader::setWantedTimes(WantedTimes wanted)
{
    wanted_ = std::move(wanted);
    if (ok()) {
        const AVStream* st = stream();
        constantRate_ = st->avg_frame_rate.num > 0 && av_cmp_q(st->avg_frame_rate, st->r_frame_rate) == 0;
    }
}

void CSourceVideoReader::setTargetSize(int width, int height)
{
    if (!ok())
        return;
    const AVCodecParameters* par = stream()->codecpar;
    const int maxLowres = codec_->codec ? codec_->codec->max_lowres : 0;
    int lowres = 0;
    while (lowres < maxLowres && AV_CEIL_RSHIFT(par->width, lowres + 1) >= width
        && AV_CEIL_RSHIFT(par->height, lowres + 1) >= height)
        ++lowres;
    if (lowres == this->lowres())
        return;
    forget();
    started_ = false;
    reopen(lowres);
}

void CSourceVideoReader::forget()
{
    if (current_)
        av_frame_unref(current_.get());
    if (pending_)
        av_frame_unref(pending_.get());
    if (held_)
        av_packet_unref(held_.get());
    if (next_)
        av_packet_unref(next_.get());
    hasCurrent_ = hasPending_ = hasHeld_ = false;
}

bool CSourceVideoReader::packetNeeded(const AVPacket& packet) const
{
    if (!wanted_ || !constantRate_ || packet.pts == AV_NOPTS_VALUE || packet.duration <= 0)
        return true;
    // The frame is shown for asked times from its own time up to the next
    // frame's (the same rule as frameAt); a margin below keeps rounded times
    // on the safe side.
    constexpr REFTIME100NS kMargin = 100;
    const REFTIME100NS start = streamTime(packet.pts);
    const REFTIME100NS next = streamTime(packet.pts + packet.duration);
    return wanted_(start - kSourceTimeTolerance - kMargin, next - kSourceTimeTolerance);
}

const AVFrame* CSourceVideoReader::frameAt(REFTIME100NS mediaTime)
{
    if (!ok() || !current_ || !pending_ || !held_ || !next_)
        return nullptr;
    const REFTIME100NS reached = hasHeld_ ? heldTime_ : hasPending_ ? pendingTime_ : currentTime_;
    const bool any = hasCurrent_ || hasPending_ || hasHeld_;
    const bool behind = hasCurrent_ && mediaTime + kSourceTimeTolerance < currentTime_;
    const bool farAhead = any && mediaTime - reached > kSeekAhead && keyFrameAfter(mediaTime, reached);
    const bool firstFar = !started_ && !any && mediaTime > kSeekAhead / 10 && keyFrameAfter(mediaTime, 0);
    started_ = true;
    if (behind || farAhead || firstFar) {
        if (seek(mediaTime))
            forget();
        else if (behind)
            return nullptr;
    }
    return intraOnly() ? frameAtIntra(mediaTime) : frameAtSequential(mediaTime);
}

const AVFrame* CSourceVideoReader::frameAtSequential(REFTIME100NS t)
{
    for (;;) {
        if (!hasPending_) {
            if (!decodeNext(pending_.get()))
                break;
            pendingTime_ = frameTime(pending_.get());
            hasPending_ = true;
        }
        if (!hasCurrent_ || pendingTime_ <= t + kSourceTimeTolerance) {
            std::swap(current_, pending_);
            currentTime_ = pendingTime_;
            hasCurrent_ = true;
            hasPending_ = false;
            continue;
        }
        break;
    }
    return hasCurrent_ ? current_.get() : nullptr;
}

const AVFrame* CSourceVideoReader::frameAtIntra(REFTIME100NS t)
{
    for (;;) {
        if (!hasHeld_) {
            if (eof_ || !readPacket(held_.get(), &heldTime_)) {
                eof_ = true;
                return hasCurrent_ ? current_.get() : nullptr;
            }
            hasHeld_ = true;
        }
        if (hasCurrent_ && heldTime_ > t + kSourceTimeTolerance)
            return current_.get();
        REFTIME100NS nextTime = 0;
        const bool more = !eof_ && readPacket(next_.get(), &nextTime);
        if (more && nextTime <= t + kSourceTimeTolerance) {
            // A later picture is still shown at or before t: this one never is.
            std::swap(held_, next_);
            heldTime_ = nextTime;
            continue;
        }
        eof_ = !more;
        const REFTIME100NS time = heldTime_;
        const bool decoded = decodePacket(held_.get(), pending_.get());
        std::swap(held_, next_);
        heldTime_ = nextTime;
        hasHeld_ = more;
        if (decoded) {
            std::swap(current_, pending_);
            currentTime_ = time;
            hasCurrent_ = true;
            return current_.get();
        }
        if (!more)
            return hasCurrent_ ? current_.get() : nullptr;
    }
}
