#include "engine/source_audio_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace {
// Longest leading gap filled with silence when a sound stream starts late.
constexpr std::int64_t kMaxLeadSeconds = 10;
} // namespace

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
