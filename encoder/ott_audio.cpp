// Sound stage: pulls 16-bit PCM chunks and codes them as AAC-LC (libavcodec),
// AMR-NB (opencore-amrnb) or leaves them as PCM, in frames of the codec's
// size whatever the chunk size.
#include "ott_scratch.h"
#include "ott_stages.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/mathematics.h>
#include <opencore-amrnb/interf_enc.h>
}

namespace ott {
namespace {

constexpr int kAacBitRatePerChannel = 24000;
constexpr int kAmrFrameSamples = 160;
constexpr int kPcmFrameSamples = 1024;
// Upper bound on the sound one encode takes (three hours), so a callback
// that never ends the sound cannot keep the encode running for ever.
constexpr std::int64_t kMaxSoundSeconds = 3 * 3600;

// Turns interleaved frames of samples into coded packets.
class FrameCoder {
public:
    virtual ~FrameCoder() = default;
    // Samples per channel of one frame.
    virtual int frameSamples() const = 0;
    // Codes one frame of interleaved samples (fewer than frameSamples
    // only for the last one); null at the end to flush.
    virtual bool code(const short* samples, int count, std::int64_t pts, ScratchWriter& scratch) = 0;
    virtual bool fillParameters(AVCodecParameters* par, AVRational& timeBase) = 0;
};

class AacCoder final : public FrameCoder {
public:
    bool open(const EncodeJob& job, std::string& error)
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        ctx_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!ctx_ || !frame_ || !packet_) {
            error = "AAC encoder not available";
            return false;
        }
        ctx_->sample_rate = job.sampleRate;
        ctx_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&ctx_->ch_layout, job.channels);
        ctx_->bit_rate = kAacBitRatePerChannel * job.channels;
        ctx_->profile = FF_PROFILE_AAC_LOW;
        ctx_->time_base = AVRational { 1, job.sampleRate };
        if (job.muxer != "avi")
            ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(ctx_.get(), codec, nullptr) < 0) {
            error = "AAC encoder rejected the settings";
            return false;
        }
        channels_ = job.channels;
        return true;
    }
    int frameSamples() const override { return ctx_->frame_size; }
    bool code(const short* samples, int count, std::int64_t pts, ScratchWriter& scratch) override
    {
        int r = 0;
        if (samples) {
            const int perChannel = count / channels_;
            frame_->nb_samples = perChannel;
            frame_->format = AV_SAMPLE_FMT_FLTP;
            frame_->sample_rate = ctx_->sample_rate;
            if (av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) < 0
                || av_frame_get_buffer(frame_.get(), 0) < 0)
                return false;
            for (int c = 0; c < channels_; ++c) {
                auto* plane = reinterpret_cast<float*>(frame_->data[c]);
                for (int i = 0; i < perChannel; ++i)
                    plane[i] = samples[i * channels_ + c] * (1.0f / 32768.0f);
            }
            frame_->pts = pts;
            r = avcodec_send_frame(ctx_.get(), frame_.get());
            av_frame_unref(frame_.get());
        } else {
            r = avcodec_send_frame(ctx_.get(), nullptr);
        }
        if (r < 0)
            return false;
        for (;;) {
            r = avcodec_receive_packet(ctx_.get(), packet_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            const bool ok = scratch.write(*packet_);
            av_packet_unref(packet_.get());
            if (!ok)
                return false;
        }
    }
    bool fillParameters(AVCodecParameters* par, AVRational& timeBase) override
    {
        timeBase = ctx_->time_base;
        return avcodec_parameters_from_context(par, ctx_.get()) >= 0;
    }

private:
    CodecContextPtr ctx_;
    FramePtr frame_;
    PacketPtr packet_;
    int channels_ = 1;
};

class AmrCoder final : public FrameCoder {
public:
    ~AmrCoder() override
    {
        if (state_)
            Encoder_Interface_exit(state_);
    }
    bool open(const EncodeJob& job, std::string& error)
    {
        state_ = Encoder_Interface_init(0);
        mode_ = job.amrMode;
        channels_ = job.channels;
        packet_.reset(av_packet_alloc());
        if (!state_ || !packet_) {
            error = "AMR-NB encoder not available";
            return false;
        }
        return true;
    }
    int frameSamples() const override { return kAmrFrameSamples; }
    bool code(const short* samples, int count, std::int64_t pts, ScratchWriter& scratch) override
    {
        if (!samples)
            return true;
        // Mono 160-sample frame; stereo input is mixed down, a short last
        // frame is completed with silence.
        short speech[kAmrFrameSamples] = {};
        const int perChannel = std::min(count / channels_, kAmrFrameSamples);
        for (int i = 0; i < perChannel; ++i) {
            int sum = 0;
            for (int c = 0; c < channels_; ++c)
                sum += samples[i * channels_ + c];
            speech[i] = static_cast<short>(sum / channels_);
        }
        unsigned char coded[64];
        const int bytes = Encoder_Interface_Encode(state_, static_cast<Mode>(mode_), speech, coded, 0);
        if (bytes <= 0 || av_new_packet(packet_.get(), bytes) < 0)
            return false;
        std::memcpy(packet_->data, coded, static_cast<std::size_t>(bytes));
        packet_->pts = packet_->dts = pts;
        // A short last frame counts only the samples it carries, so the
        // sound ends where the movie does.
        packet_->duration = std::max(perChannel, 1);
        packet_->flags = AV_PKT_FLAG_KEY;
        const bool ok = scratch.write(*packet_);
        av_packet_unref(packet_.get());
        return ok;
    }
    bool fillParameters(AVCodecParameters* par, AVRational& timeBase) override
    {
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_AMR_NB;
        par->sample_rate = 8000;
        av_channel_layout_default(&par->ch_layout, 1);
        par->frame_size = kAmrFrameSamples;
        timeBase = AVRational { 1, 8000 };
        return true;
    }

private:
    void* state_ = nullptr;
    int mode_ = 0;
    int channels_ = 1;
    PacketPtr packet_;
};

class PcmCoder final : public FrameCoder {
public:
    bool open(const EncodeJob& job, std::string& error)
    {
        rate_ = job.sampleRate;
        channels_ = job.channels;
        packet_.reset(av_packet_alloc());
        if (!packet_)
            error = "out of memory";
        return packet_ != nullptr;
    }
    int frameSamples() const override { return kPcmFrameSamples; }
    bool code(const short* samples, int count, std::int64_t pts, ScratchWriter& scratch) override
    {
        if (!samples)
            return true;
        const int bytes = count * static_cast<int>(sizeof(short));
        if (av_new_packet(packet_.get(), bytes) < 0)
            return false;
        std::memcpy(packet_->data, samples, static_cast<std::size_t>(bytes));
        packet_->pts = packet_->dts = pts;
        packet_->duration = count / channels_;
        packet_->flags = AV_PKT_FLAG_KEY;
        const bool ok = scratch.write(*packet_);
        av_packet_unref(packet_.get());
        return ok;
    }
    bool fillParameters(AVCodecParameters* par, AVRational& timeBase) override
    {
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_PCM_S16LE;
        par->sample_rate = rate_;
        av_channel_layout_default(&par->ch_layout, channels_);
        par->bits_per_coded_sample = 16;
        par->block_align = 2 * channels_;
        par->bit_rate = static_cast<std::int64_t>(16) * rate_ * channels_;
        timeBase = AVRational { 1, rate_ };
        return true;
    }

private:
    int rate_ = 8000;
    int channels_ = 1;
    PacketPtr packet_;
};

std::unique_ptr<FrameCoder> OpenCoder(const EncodeJob& job, std::string& error)
{
    switch (job.audioCodec) {
    case AudioCodec::Aac: {
        auto coder = std::make_unique<AacCoder>();
        return coder->open(job, error) ? std::move(coder) : nullptr;
    }
    case AudioCodec::AmrNb: {
        auto coder = std::make_unique<AmrCoder>();
        return coder->open(job, error) ? std::move(coder) : nullptr;
    }
    case AudioCodec::Pcm: {
        auto coder = std::make_unique<PcmCoder>();
        return coder->open(job, error) ? std::move(coder) : nullptr;
    }
    }
    return nullptr;
}

} // namespace

StageResult EncodeAudio(const EncodeJob& job, AudioRequestFn request, CodedStream& out, std::string& error)
{
    std::unique_ptr<FrameCoder> coder = OpenCoder(job, error);
    if (!coder)
        return StageResult::Failed;
    ScratchWriter scratch;
    if (!scratch.open(job.audioScratch)) {
        error = "cannot create the sound scratch files";
        return StageResult::Failed;
    }

    const int frameValues = coder->frameSamples() * job.channels;
    std::vector<short> chunk(static_cast<std::size_t>(job.chunkCapacity));
    std::vector<short> pending; // samples waiting for a whole frame
    pending.reserve(static_cast<std::size_t>(frameValues + job.chunkCapacity));
    std::int64_t codedSamples = 0; // per channel
    const std::int64_t maxValues = kMaxSoundSeconds * job.sampleRate * job.channels;
    std::int64_t receivedValues = 0;

    auto fail = [&](const char* why) {
        scratch.close();
        error = why;
        return StageResult::Failed;
    };

    for (int index = 0; receivedValues < maxValues; ++index) {
        int count = 0;
        int start = 0;
        const int answer = request(chunk.data(), index, &count, &start);
        if (answer < 0) {
            scratch.close();
            return StageResult::Aborted;
        }
        if (answer == 0)
            break;
        count = std::clamp(count, 0, job.chunkCapacity);
        count -= count % job.channels;
        receivedValues += count;
        pending.insert(pending.end(), chunk.begin(), chunk.begin() + count);
        std::size_t used = 0;
        while (pending.size() - used >= static_cast<std::size_t>(frameValues)) {
            if (!coder->code(pending.data() + used, frameValues, codedSamples, scratch))
                return fail("sound coding failed or the disk is full");
            used += static_cast<std::size_t>(frameValues);
            codedSamples += coder->frameSamples();
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    }
    if (!pending.empty() && !coder->code(pending.data(), static_cast<int>(pending.size()), codedSamples, scratch))
        return fail("sound coding failed or the disk is full");
    if (!coder->code(nullptr, 0, 0, scratch) || !scratch.close()) {
        error = "sound coding failed or the disk is full";
        return StageResult::Failed;
    }
    if (scratch.packets() == 0)
        return StageResult::Empty;

    out.parameters.reset(avcodec_parameters_alloc());
    if (!out.parameters || !coder->fillParameters(out.parameters.get(), out.timeBase)) {
        error = "out of memory";
        return StageResult::Failed;
    }
    out.samples = receivedValues / job.channels;
    out.lengthUs = av_rescale(out.samples, 1000000, job.sampleRate);
    return StageResult::Done;
}

} // namespace ott
