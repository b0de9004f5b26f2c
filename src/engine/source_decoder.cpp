#include "engine/source_decoder.h"

#include "engine/media_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>

namespace {
constexpr AVRational kUnits100ns { 1, 10000000 };
} // namespace

CSourceDecoder::CSourceDecoder(std::shared_ptr<CMediaSource> source, int stream, int lowres)
{
    init(std::move(source), stream, lowres);
}

CSourceDecoder::CSourceDecoder(const QString& path, int kind)
{
    auto source = CMediaSource::Open(path);
    const int stream = source ? source->streamOfKind(kind) : -1;
    init(std::move(source), stream, 0);
}

CSourceDecoder::~CSourceDecoder() = default;

void CSourceDecoder::init(std::shared_ptr<CMediaSource> source, int stream, int lowres)
{
    source_ = std::move(source);
    if (!source_ || !source_->stream(stream))
        return;
    stream_ = stream;
    const AVStream* st = source_->format()->streams[stream_];
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        frameDuration_ = std::max<REFTIME100NS>(1, av_rescale_q(1, av_inv_q(rate), kUnits100ns));
    packet_.reset(av_packet_alloc());
    if (!packet_ || !openCodec(lowres))
        return;
    AVFormatContext* fmt = source_->format();
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        fmt->streams[i]->discard = int(i) == stream_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    // Another decoder read the file before (the probing's packets are
    // still queued for the first one): start from the beginning.
    if (source_->consumed())
        rewind();
    source_->setConsumed();
}

bool CSourceDecoder::openCodec(int lowres)
{
    codec_.reset();
    const AVStream* st = source_->format()->streams[stream_];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        return false;
    FfPtr<AVCodecContext> ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return false;
    ctx->pkt_timebase = st->time_base;
    lowres_ = std::clamp(lowres, 0, int(decoder->max_lowres));
    ctx->lowres = lowres_;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(st->codecpar->codec_id);
    intraOnly_ = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        // Pictures decode on FFmpeg's own threads. Slice threads return
        // each picture for its own packet, which readers that decode single
        // packets of intra-only streams rely on.
        ctx->thread_count = 0;
        if (intraOnly_)
            ctx->thread_type = FF_THREAD_SLICE;
    } else {
        ctx->thread_count = 1; // sound is cheap enough for one
    }
    if (avcodec_open2(ctx.get(), decoder, nullptr) < 0)
        return false;
    codec_ = std::move(ctx);
    return true;
}

bool CSourceDecoder::rewind()
{
    AVFormatContext* fmt = source_->format();
    const AVStream* st = fmt->streams[stream_];
    const std::int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const bool ok = av_seek_frame(fmt, stream_, start, AVSEEK_FLAG_BACKWARD) >= 0
        || av_seek_frame(fmt, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
    if (codec_)
        avcodec_flush_buffers(codec_.get());
    eof_ = drained_ = false;
    nextFrameTime_ = nextPacketTime_ = 0;
    return ok;
}

bool CSourceDecoder::reopen(int lowres)
{
    if (!source_ || stream_ < 0 || !openCodec(lowres))
        return false;
    rewind();
    return true;
}

const AVStream* CSourceDecoder::stream() const
{
    return source_->format()->streams[stream_];
}

void CSourceDecoder::noteFrame(const AVFrame* frame)
{
    ++decoded_;
    REFTIME100NS length = frameDuration_;
    if (codec_->codec_type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0)
        length = REFTIME100NS(frame->nb_samples) * 10000000 / frame->sample_rate;
    nextFrameTime_ = frameTime(frame) + length;
}

bool CSourceDecoder::decodeNext(AVFrame* frame)
{
    if (!ok() || drained_)
        return false;
    AVFormatContext* fmt = source_->format();
    for (;;) {
        int r = avcodec_receive_frame(codec_.get(), frame);
        if (r == 0) {
            noteFrame(frame);
            return true;
        }
        if (r != AVERROR(EAGAIN) || eof_) {
            drained_ = true;
            return false;
        }
        r = av_read_frame(fmt, packet_.get());
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

bool CSourceDecoder::readPacket(AVPacket* packet, REFTIME100NS* time)
{
    if (!ok())
        return false;
    AVFormatContext* fmt = source_->format();
    for (;;) {
        av_packet_unref(packet);
        if (av_read_frame(fmt, packet) < 0)
            return false;
        if (packet->stream_index != stream_)
            continue;
        const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        *time = ts != AV_NOPTS_VALUE ? streamTime(ts) : nextPacketTime_;
        nextPacketTime_ = *time
            + (packet->duration > 0 ? av_rescale_q(packet->duration, stream()->time_base, kUnits100ns)
                                    : frameDuration_);
        return true;
    }
}

bool CSourceDecoder::decodePacket(AVPacket* packet, AVFrame* frame)
{
    if (!ok())
        return false;
    if (avcodec_send_packet(codec_.get(), packet) < 0) {
        ++errors_;
        return false;
    }
    av_frame_unref(frame);
    if (avcodec_receive_frame(codec_.get(), frame) < 0)
        return false;
    noteFrame(frame);
    return true;
}

bool CSourceDecoder::seek(REFTIME100NS mediaTime)
{
    if (!ok())
        return false;
    AVFormatContext* fmt = source_->format();
    const AVStream* st = stream();
    std::int64_t ts = av_rescale_q_rnd(mediaTime + kSourceTimeTolerance, kUnits100ns, st->time_base, AV_ROUND_DOWN);
    if (st->start_time != AV_NOPTS_VALUE)
        ts += st->start_time;
    if (av_seek_frame(fmt, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame(fmt, stream_, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0
        && av_seek_frame(fmt, -1, 0, AVSEEK_FLAG_BYTE) < 0)
        return false;
    avcodec_flush_buffers(codec_.get());
    eof_ = false;
    drained_ = false;
    nextFrameTime_ = nextPacketTime_ = std::max<REFTIME100NS>(0, mediaTime);
    return true;
}

bool CSourceDecoder::keyFrameAfter(REFTIME100NS t, REFTIME100NS reached) const
{
    // A seek lands on the last key frame at or before t; when the index
    // shows that one is not past what was already decoded, reading on is
    // cheaper. Without an index the seek is tried.
    AVStream* st = source_->format()->streams[stream_];
    std::int64_t ts = av_rescale_q_rnd(t + kSourceTimeTolerance, kUnits100ns, st->time_base, AV_ROUND_DOWN);
    if (st->start_time != AV_NOPTS_VALUE)
        ts += st->start_time;
    const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(st, ts, AVSEEK_FLAG_BACKWARD);
    return !key || streamTime(key->timestamp) > reached + kSourceTimeTolerance;
}

REFTIME100NS CSourceDecoder::streamTime(std::int64_t ts) const
{
    const AVStream* st = stream();
    if (st->start_time != AV_NOPTS_VALUE)
        ts -= st->start_time;
    return av_rescale_q(ts, st->time_base, kUnits100ns);
}

REFTIME100NS CSourceDecoder::frameTime(const AVFrame* frame) const
{
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->pts;
    return pts == AV_NOPTS_VALUE ? nextFrameTime_ : streamTime(pts);
}
