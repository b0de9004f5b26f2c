#include "engine/playback_file_feeds.h"

#include "engine/media_source.h"
#include "engine/source_audio_reader.h"
#include "engine/source_reader.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kUnitsPerSecond = 10000000.0;
} // namespace

CFileVideoFeed::CFileVideoFeed(
    std::shared_ptr<CMediaSource> source, int stream, int width, int height, double fps, REFERENCE_TIME duration)
    : reader_(std::make_unique<CSourceVideoReader>(std::move(source), stream))
    , width_(width)
    , height_(height)
    , fps_(fps)
{
    count_ = std::max<std::int64_t>(1, std::int64_t(std::ceil(double(duration) * fps_ / kUnitsPerSecond)));
    while (count_ > 1 && time(count_ - 1) >= duration)
        --count_;
}

CFileVideoFeed::~CFileVideoFeed() = default;

REFERENCE_TIME CFileVideoFeed::time(std::int64_t index) const
{
    return REFERENCE_TIME(std::llround(double(index) * kUnitsPerSecond / fps_));
}

void CFileVideoFeed::render(std::int64_t index, std::uint8_t* dst)
{
    const int stride = DibRowBytes(width_, 24);
    std::memset(dst, 0, std::size_t(stride) * std::size_t(height_));
    const AVFrame* frame = reader_->ok() ? reader_->frameAt(time(index)) : nullptr;
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return;
    sws_.reset(sws_getCachedContext(sws_.release(), frame->width, frame->height, AVPixelFormat(frame->format), width_,
        height_, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_)
        return;
    // Bottom-up: the picture's top row is the buffer's last row.
    std::uint8_t* out[4] = { dst + std::ptrdiff_t(height_ - 1) * stride, nullptr, nullptr, nullptr };
    int outStride[4] = { -stride, 0, 0, 0 };
    sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, out, outStride);
}

CFileAudioFeed::CFileAudioFeed(const QString& path, int sampleRate, int channelCount, REFERENCE_TIME duration)
    : reader_(std::make_unique<CSourceAudioReader>(path, sampleRate, channelCount))
{
    rate = sampleRate;
    channels = channelCount;
    count_ = duration * sampleRate / 10000000;
}

CFileAudioFeed::~CFileAudioFeed() = default;

void CFileAudioFeed::render(std::int64_t first, int frames, std::int16_t* dst)
{
    if (!started_ || first != origin_ + reader_->position()) {
        reader_->start(REFERENCE_TIME(double(first) * kUnitsPerSecond / rate));
        origin_ = first;
        started_ = true;
    }
    reader_->read(dst, frames);
}
