#include "engine/source_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace {
constexpr AVRational kUnits100ns { 1, 10000000 };
// Frame times are rounded to 100 ns; a frame this close to the asked time counts as reached.
constexpr REFTIME100NS kTimeTolerance = 10;
// Decoding forward is cheaper than seeking for gaps up to this length.
constexpr REFTIME100NS kSeekAhead = 30000000;
// Longest leading gap filled with silence when a sound stream starts late.
constexpr std::int64_t kMaxLeadSeconds = 10;
} // namespace

CSourceDecoder::CSourceDecoder(const QString& path, int kind)
{
    AVFormatContext* fmt = nullptr;
    if (path.isEmpty() || avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return;
    format_.reset(fmt);
    if (avformat_find_stream_info(fmt, nullptr) < 0)
        return;
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(fmt, AVMediaType(kind), -1, -1, &decoder, 0);
    if (stream_ < 0 || !decoder)
        return;
    FfPtr<AVCodecContext> ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), fmt->streams[stream_]->codecpar) < 0)
        return;
    ctx->pkt_timebase = fmt->streams[stream_]->time_base;
    // Video decodes on FFmpeg's own threads; sound is cheap enough for one.
    ctx->thread_count = kind == AVMEDIA_TYPE_VIDEO ? 0 : 1;
    if (avcodec_open2(ctx.get(), decoder, nullptr) < 0)
        return;
    // Only the chosen stream is demuxed.
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (int(i) != stream_)
            fmt->streams[i]->discard = AVDISCARD_ALL;
    packet_.reset(av_packet_alloc());
    if (packet_)
        codec_ = std::move(ctx);
}

bool CSourceDecoder::decodeNext(AVFrame* frame)
{
    if (!ok() || drained_)
        return false;
    for (;;) {
        int r = avcodec_receive_frame(codec_.get(), frame);
        if (r == 0) {
            lastTime_ = frameTime(frame);
            return true;
        }
        if (r != AVERROR(EAGAIN) || eof_) {
            drained_ = true;
            return false;
        }
        r = av_read_frame(format_.get(), packet_.get());
        if (r < 0) {
            eof_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == stream_) {
            codec_->skip_frame = packetNeeded(*packet_) ? AVDISCARD_DEFAULT : AVDISCARD_NONREF;
            // A packet the decoder refuses (damaged data) is skipped.
            if (avcodec_send_packet(codec_.get(), packet_.get()) < 0)
                ++errors_;
        }
        av_packet_unref(packet_.get());
    }
}

bool CSourceDecoder::seek(REFTIME100NS mediaTime)
{
    if (!ok())
        return false;
    const AVStream* st = format_->streams[stream_];
    std::int64_t ts = av_rescale_q(mediaTime, kUnits100ns, st->time_base);
    if (st->start_time != AV_NOPTS_VALUE)
        ts += st->start_time;
    if (av_seek_frame(format_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame(format_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return false;
    avcodec_flush_buffers(codec_.get());
    eof_ = false;
    drained_ = false;
    return true;
}

REFTIME100NS CSourceDecoder::streamTime(std::int64_t ts) const
{
    const AVStream* st = format_->streams[stream_];
    if (st->start_time != AV_NOPTS_VALUE)
        ts -= st->start_time;
    return av_rescale_q(ts, st->time_base, kUnits100ns);
}

REFTIME100NS CSourceDecoder::frameTime(const AVFrame* frame) const
{
    const AVStream* st = format_->streams[stream_];
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->pts;
    if (pts == AV_NOPTS_VALUE)
        return lastTime_;
    if (st->start_time != AV_NOPTS_VALUE)
        pts -= st->start_time;
    return av_rescale_q(pts, st->time_base, kUnits100ns);
}

CSourceVideoReader::CSourceVideoReader(const QString& path)
    : CSourceDecoder(path, AVMEDIA_TYPE_VIDEO)
    , current_(av_frame_alloc())
    , pending_(av_frame_alloc())
{ }

void CSourceVideoReader::setWantedTimes(WantedTimes wanted)
{
    wanted_ = std::move(wanted);
    if (ok()) {
        const AVStream* st = format_->streams[stream_];
        constantRate_ = st->avg_frame_rate.num > 0 && av_cmp_q(st->avg_frame_rate, st->r_frame_rate) == 0;
    }
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
    return wanted_(start - kTimeTolerance - kMargin, next - kTimeTolerance);
}

const AVFrame* CSourceVideoReader::frameAt(REFTIME100NS mediaTime)
{
    if (!ok() || !current_ || !pending_)
        return nullptr;
    const bool behind = hasCurrent_ && mediaTime + kTimeTolerance < currentTime_;
    const bool farAhead = hasCurrent_ && mediaTime > currentTime_ + kSeekAhead
        && (!hasPending_ || pendingTime_ + kSeekAhead < mediaTime);
    const bool firstFar = !started_ && mediaTime > kSeekAhead / 10;
    started_ = true;
    if ((behind || farAhead || firstFar) && seek(mediaTime)) {
        hasCurrent_ = false;
        hasPending_ = false;
    }
    for (;;) {
        if (!hasPending_) {
            if (!decodeNext(pending_.get()))
                break;
            pendingTime_ = frameTime(pending_.get());
            hasPending_ = true;
        }
        if (!hasCurrent_ || pendingTime_ <= mediaTime + kTimeTolerance) {
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

CSourceAudioReader::CSourceAudioReader(const QString& path, int sampleRate, int channels)
    : CSourceDecoder(path, AVMEDIA_TYPE_AUDIO)
    , rate_(sampleRate)
    , channels_(channels)
    , frame_(av_frame_alloc())
{ }

void CSourceAudioReader::start(REFTIME100NS mediaTime)
{
    delivered_ = 0;
    fifo_.clear();
    fifoRead_ = 0;
    fifoPosition_ = -1;
    dropUntil_ = (mediaTime * rate_ + 5000000) / 10000000;
    if (!ok())
        return;
    seek(mediaTime);
    swr_.reset();
    swrReady_ = false;
}

bool CSourceAudioReader::refill()
{
    if (!ok() || !frame_)
        return false;
    if (!decodeNext(frame_.get()))
        return false;
    const AVFrame* f = frame_.get();
    if (!swrReady_) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, channels_);
        SwrContext* swr = nullptr;
        const int r = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, rate_,
            const_cast<AVChannelLayout*>(&f->ch_layout), AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        swr_.reset(swr);
        if (r < 0 || swr_init(swr) < 0) {
            swr_.reset();
            return false;
        }
        swrReady_ = true;
    }
    const int maxOut = swr_get_out_samples(swr_.get(), f->nb_samples);
    if (maxOut < 0)
        return false;
    // Drop what was read before appending, so the buffer stays small.
    if (fifoRead_ > 0 && fifoRead_ * 2 >= fifo_.size()) {
        fifo_.erase(fifo_.begin(), fifo_.begin() + std::ptrdiff_t(fifoRead_));
        fifoRead_ = 0;
    }
    const std::size_t oldSize = fifo_.size();
    fifo_.resize(oldSize + std::size_t(maxOut) * std::size_t(channels_));
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(fifo_.data() + oldSize);
    const int got
        = swr_convert(swr_.get(), &out, maxOut, const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    fifo_.resize(oldSize + std::size_t(std::max(got, 0)) * std::size_t(channels_));
    if (fifoPosition_ < 0) {
        fifoPosition_ = (frameTime(f) * rate_ + 5000000) / 10000000;
        if (fifoPosition_ > dropUntil_) {
            // The sound starts after the asked time: silence until it does.
            const std::int64_t lead = std::min<std::int64_t>(fifoPosition_ - dropUntil_, kMaxLeadSeconds * rate_);
            fifo_.insert(fifo_.begin() + std::ptrdiff_t(fifoRead_), std::size_t(lead) * std::size_t(channels_), 0);
            fifoPosition_ = dropUntil_;
        }
    }
    if (fifoPosition_ < dropUntil_) {
        const std::size_t avail = (fifo_.size() - fifoRead_) / std::size_t(channels_);
        const std::size_t drop = std::min<std::size_t>(avail, std::size_t(dropUntil_ - fifoPosition_));
        fifoRead_ += drop * std::size_t(channels_);
        fifoPosition_ += std::int64_t(drop);
    }
    return true;
}

void CSourceAudioReader::read(std::int16_t* dst, int count)
{
    const std::size_t want = std::size_t(count) * std::size_t(channels_);
    while (fifo_.size() - fifoRead_ < want && refill()) { }
    const std::size_t have = std::min(want, fifo_.size() - fifoRead_);
    if (have > 0)
        std::memcpy(dst, fifo_.data() + fifoRead_, have * sizeof(std::int16_t));
    std::fill(dst + have, dst + want, std::int16_t(0));
    fifoRead_ += have;
    fifoPosition_ += std::int64_t(have / std::size_t(channels_));
    delivered_ += count;
}

void CSourceAudioReader::skip(std::int64_t count)
{
    std::int16_t scratch[4096];
    const int per = int(std::size(scratch)) / channels_;
    while (count > 0) {
        const int n = int(std::min<std::int64_t>(count, per));
        read(scratch, n);
        count -= n;
    }
}
