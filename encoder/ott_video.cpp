// Video stage: pulls I420 frames and codes them as MPEG-4 part 2 (simple
// profile) or H.263 baseline.
#include "ott_scratch.h"
#include "ott_stages.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace ott {
namespace {

constexpr int kVideoBitRate = 96000;
constexpr int kKeyFrameSeconds = 2;

CodecContextPtr OpenVideoEncoder(const EncodeJob& job, std::string& error)
{
    const AVCodecID id = job.videoCodec == VideoCodec::H263 ? AV_CODEC_ID_H263 : AV_CODEC_ID_MPEG4;
    const AVCodec* codec = avcodec_find_encoder(id);
    CodecContextPtr ctx(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!ctx) {
        error = "video encoder not available";
        return nullptr;
    }
    ctx->width = job.width;
    ctx->height = job.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = av_inv_q(job.frameRate);
    ctx->framerate = job.frameRate;
    ctx->bit_rate = kVideoBitRate;
    ctx->gop_size = std::max(1, kKeyFrameSeconds * job.frameRate.num / std::max(1, job.frameRate.den));
    ctx->max_b_frames = 0;
    if (job.videoCodec == VideoCodec::Mpeg4) {
        ctx->profile = FF_PROFILE_MPEG4_SIMPLE;
        ctx->thread_count = 0; // slice threads, as many as the machine has
    } else {
        ctx->thread_count = 1; // H.263 baseline codes one slice per picture
        // Coarser than this, strong edges overflow the baseline's
        // coefficient range and get clipped.
        ctx->qmin = 4;
    }
    if (job.muxer != "avi")
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        error = "video encoder rejected the settings";
        return nullptr;
    }
    return ctx;
}

bool Drain(AVCodecContext* ctx, AVPacket* packet, ScratchWriter& scratch)
{
    for (;;) {
        const int r = avcodec_receive_packet(ctx, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        const bool ok = scratch.write(*packet);
        av_packet_unref(packet);
        if (!ok)
            return false;
    }
}

} // namespace

StageResult EncodeVideo(const EncodeJob& job, VideoRequestFn request, CodedStream& out, std::string& error)
{
    CodecContextPtr ctx = OpenVideoEncoder(job, error);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet)
        return StageResult::Failed;

    // One buffer for the whole stream: a frame the callback leaves untouched
    // repeats the previous picture (black before the first).
    const std::size_t lumaBytes = static_cast<std::size_t>(job.width) * job.height;
    std::vector<unsigned char> picture(lumaBytes * 3 / 2);
    std::memset(picture.data(), 16, lumaBytes);
    std::memset(picture.data() + lumaBytes, 128, lumaBytes / 2);

    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = job.width;
    frame->height = job.height;
    frame->data[0] = picture.data();
    frame->data[1] = picture.data() + lumaBytes;
    frame->data[2] = picture.data() + lumaBytes + lumaBytes / 4;
    frame->linesize[0] = job.width;
    frame->linesize[1] = job.width / 2;
    frame->linesize[2] = job.width / 2;

    ScratchWriter scratch;
    if (!scratch.open(job.videoScratch)) {
        error = "cannot create the video scratch files";
        return StageResult::Failed;
    }

    const AVRational ms { 1, 1000 };
    std::int64_t lastPts = -1;
    for (int index = 0; index <= job.frameCount; ++index) {
        int timeMs = static_cast<int>(av_rescale_q(index, ctx->time_base, ms));
        const int answer = request(picture.data(), index, &timeMs);
        if (answer < 0) {
            scratch.close();
            return StageResult::Aborted;
        }
        if (answer == 0 || index == job.frameCount)
            break;
        // Frames are presented at the times the callback reports, kept
        // strictly increasing so the container accepts them.
        frame->pts = std::max(lastPts + 1, av_rescale_q(std::max(timeMs, 0), ms, ctx->time_base));
        lastPts = frame->pts;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || !Drain(ctx.get(), packet.get(), scratch)) {
            scratch.close();
            error = "video coding failed";
            return StageResult::Failed;
        }
    }
    if (avcodec_send_frame(ctx.get(), nullptr) < 0 || !Drain(ctx.get(), packet.get(), scratch) || !scratch.close()) {
        error = "video coding failed or the disk is full";
        return StageResult::Failed;
    }
    if (scratch.packets() == 0)
        return StageResult::Empty;

    out.parameters.reset(avcodec_parameters_alloc());
    if (!out.parameters || avcodec_parameters_from_context(out.parameters.get(), ctx.get()) < 0) {
        error = "out of memory";
        return StageResult::Failed;
    }
    out.timeBase = ctx->time_base;
    out.frameRate = job.frameRate;
    return StageResult::Done;
}

} // namespace ott
