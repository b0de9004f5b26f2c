// Video stage: pulls I420 frames and codes them as MPEG-4 part 2 (simple
// profile) or H.263 baseline.
#include "ott_scratch.h"
#include "ott_stages.h"
#include "ott_timeline.h"

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
        if (packet->duration <= 0)
            packet->duration = 1; // one output instant
        const bool ok = scratch.write(*packet);
        av_packet_unref(packet);
        if (!ok)
            return false;
    }
}

} // namespace

StageResult EncodeVideo(
    const EncodeJob& job, VideoRequestFn request, const CodedStream* sound, CodedStream& out, std::string& error)
{
    CodecContextPtr ctx = OpenVideoEncoder(job, error);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet)
        return StageResult::Failed;

    // Two pictures: the sampled frame held for the output instants nearest
    // to it, and the next one coming in. The callback fills the incoming one
    // over a copy of the held one, so a frame it leaves untouched repeats the
    // previous picture (black before the first).
    const std::size_t lumaBytes = static_cast<std::size_t>(job.width) * job.height;
    std::vector<unsigned char> held(lumaBytes * 3 / 2);
    std::memset(held.data(), 16, lumaBytes);
    std::memset(held.data() + lumaBytes, 128, lumaBytes / 2);
    std::vector<unsigned char> incoming(held.size());

    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = job.width;
    frame->height = job.height;
    frame->linesize[0] = job.width;
    frame->linesize[1] = job.width / 2;
    frame->linesize[2] = job.width / 2;

    ScratchWriter scratch;
    if (!scratch.open(job.videoScratch)) {
        error = "cannot create the video scratch files";
        return StageResult::Failed;
    }

    std::int64_t outputIndex = 0;
    // Codes the picture for the next count output instants.
    auto code = [&](const std::vector<unsigned char>& picture, std::int64_t count) {
        frame->data[0] = const_cast<unsigned char*>(picture.data());
        frame->data[1] = frame->data[0] + lumaBytes;
        frame->data[2] = frame->data[1] + lumaBytes / 4;
        for (std::int64_t i = 0; i < count; ++i) {
            frame->pts = outputIndex++;
            if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || !Drain(ctx.get(), packet.get(), scratch))
                return false;
        }
        return true;
    };

    FramePlacer placer(job.frameCount, sound ? sound->samples : 0, job.sampleRate);
    PicturePicker picker(job.frameRate);
    bool haveHeld = false;
    std::int64_t heldTime = 0;
    const AVRational ms { 1, 1000 };
    for (int index = 0; index <= job.frameCount; ++index) {
        std::memcpy(incoming.data(), held.data(), held.size());
        int timeMs = static_cast<int>(av_rescale_q(index, ctx->time_base, ms));
        const int answer = request(incoming.data(), index, &timeMs);
        if (answer < 0) {
            scratch.close();
            return StageResult::Aborted;
        }
        if (answer == 0 || index == job.frameCount)
            break;
        const std::int64_t t = placer.place(index, timeMs);
        const PicturePicker::Split split = picker.arrive(haveHeld, heldTime, t);
        if (!code(held, split.held) || !code(incoming, split.incoming)) {
            scratch.close();
            error = "video coding failed";
            return StageResult::Failed;
        }
        held.swap(incoming);
        haveHeld = true;
        heldTime = t;
    }
    const std::int64_t length = placer.length(picker.step());
    // Without any frame the sound gets one black picture as long as itself.
    const std::int64_t rest = haveHeld ? picker.finish(length) : (length > 0 ? 1 : 0);
    if (!code(held, rest)) {
        scratch.close();
        error = "video coding failed";
        return StageResult::Failed;
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
    out.lengthUs = length;
    return StageResult::Done;
}

} // namespace ott
