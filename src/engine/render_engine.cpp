#include "engine/render_engine.h"

#include "engine/render_frontend.h"
#include "engine/source_audio_reader.h"
#include "engine/source_reader.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {
constexpr double kUnitsPerSecond = 10000000.0;

std::size_t RowBytes(const VideoGroupFormat& v)
{
    return std::size_t(((v.width * v.bitCount + 31) & ~31) / 8);
}
} // namespace

CGroupRenderer::CGroupRenderer(int groupIndex, std::shared_ptr<const CTimelineGroup> group, REFTIME100NS duration)
    : groupIndex_(groupIndex)
    , group_(std::move(group))
    , duration_(duration)
{
    ParseVideoFormat(group_->mediaType(), video_);
    ParseAudioFormat(group_->mediaType(), audio_);
}

CGroupRenderer::~CGroupRenderer() = default;

REFTIME100NS CGroupRenderer::frameTime(std::int64_t index) const
{
    return REFTIME100NS(std::llround(double(index) * kUnitsPerSecond / group_->outputFPS()));
}

std::int64_t CGroupRenderer::frameCount() const
{
    if (!isVideo() || duration_ <= 0)
        return 0;
    auto n = std::int64_t(std::ceil(double(duration_) * group_->outputFPS() / kUnitsPerSecond));
    while (frameTime(n) < duration_)
        ++n;
    while (n > 0 && frameTime(n - 1) >= duration_)
        --n;
    return n;
}

std::int64_t CGroupRenderer::toSamples(REFTIME100NS t) const
{
    return (t * audio_.sampleRate + 5000000) / 10000000;
}

std::int64_t CGroupRenderer::sampleCount() const
{
    return isVideo() ? 0 : toSamples(duration_);
}

CSourceVideoReader* CGroupRenderer::videoReader(const CTimelineSource& src)
{
    auto& slot = videoReaders_[&src];
    if (!slot) {
        slot = std::make_unique<CSourceVideoReader>(src.mediaName());
        ++opened_;
        if (src.mediaStop() - src.mediaStart() == src.stop() - src.start()) {
            // Media time m is asked for at timeline time m - offset, on the group's frame grid.
            const REFTIME100NS offset = src.mediaStart() - src.start();
            const CTimelineSource* source = &src;
            slot->setWantedTimes([this, offset, source](REFTIME100NS from, REFTIME100NS to) {
                const REFTIME100NS a = std::max(from - offset, source->start());
                const REFTIME100NS b = std::min(to - offset, source->stop());
                if (a >= b)
                    return false;
                auto i = std::int64_t(std::floor(double(a) * group_->outputFPS() / kUnitsPerSecond)) - 1;
                while (frameTime(i) < a)
                    ++i;
                return frameTime(i) < b;
            });
        }
    }
    return slot.get();
}

CSourceAudioReader* CGroupRenderer::audioReader(const CTimelineSource& src)
{
    auto& slot = audioReaders_[&src];
    if (!slot.reader) {
        slot.reader = std::make_unique<CSourceAudioReader>(src.mediaName(), audio_.sampleRate, audio_.channels);
        slot.reader->start(src.mediaStart());
        slot.origin = 0;
        ++opened_;
    }
    return slot.reader.get();
}

void CGroupRenderer::releaseVideoBefore(REFTIME100NS t)
{
    std::erase_if(videoReaders_, [t](const auto& entry) { return entry.first->stop() <= t; });
}

void CGroupRenderer::releaseAudioBefore(std::int64_t sample)
{
    std::erase_if(
        audioReaders_, [this, sample](const auto& entry) { return toSamples(entry.first->stop()) <= sample; });
}

void CGroupRenderer::RenderVideoFrame(std::int64_t index, std::uint8_t* dst)
{
    if (!isVideo())
        return;
    std::memset(dst, 0, RowBytes(video_) * std::size_t(std::abs(video_.height)));
    const REFTIME100NS t = frameTime(index);
    releaseVideoBefore(t);
    const CTimelineSource* top = nullptr;
    const auto& tracks = group_->tracks();
    for (auto track = tracks.rbegin(); track != tracks.rend() && !top; ++track) {
        const auto& sources = (*track)->sources();
        for (auto src = sources.rbegin(); src != sources.rend(); ++src)
            if ((*src)->covers(t)) {
                top = src->get();
                break;
            }
    }
    if (!top)
        return;
    CSourceVideoReader* reader = videoReader(*top);
    if (const AVFrame* frame = reader->frameAt(top->mediaTimeAt(t)))
        compose(frame, top->stretchMode(), dst);
}

void CGroupRenderer::compose(const AVFrame* frame, int stretchMode, std::uint8_t* dst)
{
    const int W = video_.width;
    const int H = std::abs(video_.height);
    const int bytesPerPixel = video_.bitCount / 8;
    const AVPixelFormat outFormat = video_.bitCount == 32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
    if ((video_.bitCount != 24 && video_.bitCount != 32) || frame->width <= 0 || frame->height <= 0)
        return;
    int dw = W, dh = H;
    if (stretchMode == kStretchPreserveAspect) {
        double sar = 1.0;
        if (frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0)
            sar = av_q2d(frame->sample_aspect_ratio);
        const double srcAspect = double(frame->width) * sar / double(frame->height);
        if (srcAspect > double(W) / double(H))
            dh = std::clamp(int(std::lround(W / srcAspect)), 1, H);
        else
            dw = std::clamp(int(std::lround(H * srcAspect)), 1, W);
    }
    const int ox = (W - dw) / 2;
    const int oy = (H - dh) / 2;
    sws_.reset(sws_getCachedContext(sws_.release(), frame->width, frame->height, AVPixelFormat(frame->format), dw, dh,
        outFormat, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_)
        return;
    const int stride = int(RowBytes(video_));
    std::uint8_t* out[4] = {};
    int outStride[4] = {};
    if (video_.height > 0) {
        // Bottom-up: the picture's top row is the buffer's last row.
        out[0] = dst + std::ptrdiff_t(H - 1 - oy) * stride + ox * bytesPerPixel;
        outStride[0] = -stride;
    } else {
        out[0] = dst + std::ptrdiff_t(oy) * stride + ox * bytesPerPixel;
        outStride[0] = stride;
    }
    sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, out, outStride);
}

void CGroupRenderer::RenderAudio(std::int64_t first, int count, std::int16_t* dst)
{
    const int channels = audio_.channels;
    if (isVideo() || count <= 0 || channels <= 0)
        return;
    const std::size_t total = std::size_t(count) * std::size_t(channels);
    mix_.assign(total, 0);
    releaseAudioBefore(first);
    const std::int64_t last = first + count;
    for (const auto& track : group_->tracks()) {
        for (const auto& src : track->sources()) {
            const std::int64_t s0 = toSamples(src->start());
            const std::int64_t s1 = toSamples(src->stop());
            const std::int64_t a = std::max(first, s0);
            const std::int64_t b = std::min(last, s1);
            if (a >= b)
                continue;
            CSourceAudioReader* reader = audioReader(*src);
            if (!reader->ok())
                continue;
            AudioEntry& entry = audioReaders_[src.get()];
            const std::int64_t want = a - s0;
            const std::int64_t at = entry.origin + reader->position();
            if (want > at && want - at < std::int64_t(audio_.sampleRate) * 5) {
                reader->skip(want - at);
            } else if (want != at) {
                reader->start(src->mediaStart() + REFTIME100NS(double(want) * kUnitsPerSecond / audio_.sampleRate));
                entry.origin = want;
            }
            const int n = int(b - a);
            chunk_.resize(std::size_t(n) * std::size_t(channels));
            reader->read(chunk_.data(), n);
            std::int32_t* acc = mix_.data() + std::size_t(a - first) * std::size_t(channels);
            for (std::size_t i = 0; i < chunk_.size(); ++i)
                acc[i] += chunk_[i];
        }
    }
    for (std::size_t i = 0; i < total; ++i)
        dst[i] = std::int16_t(std::clamp<std::int32_t>(mix_[i], -32768, 32767));
}

HRESULT CRenderGraph::Run(REFERENCE_TIME start)
{
    {
        std::lock_guard lock(eventMutex_);
        events_.clear();
        error_ = S_OK;
    }
    HRESULT hr = Pause();
    if (SUCCEEDED(hr))
        hr = CFilterGraph::Run(start);
    // With no connected output there is nothing to wait for.
    if (SUCCEEDED(hr) && (!frontEnd_ || !frontEnd_->anyConnected()))
        NotifyEvent(EC_COMPLETE, S_OK);
    return hr;
}

void CRenderGraph::NotifyEvent(long code, HRESULT param)
{
    {
        std::lock_guard lock(eventMutex_);
        events_.push_back(code);
        if (code == EC_ERRORABORT && SUCCEEDED(error_))
            error_ = FAILED(param) ? param : E_FAIL;
    }
    eventSignal_.notify_all();
}

HRESULT CRenderGraph::WaitForCompletion(int ms, long* code)
{
    std::unique_lock lock(eventMutex_);
    *code = 0;
    if (!eventSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !events_.empty(); }))
        return VFW_E_TIMEOUT;
    *code = events_.front();
    events_.pop_front();
    return S_OK;
}

HRESULT CRenderGraph::ErrorResult() const
{
    std::lock_guard lock(eventMutex_);
    return error_;
}

HRESULT CRenderGraph::SetSyncSource(const void* clock)
{
    hasClock_.store(clock != nullptr, std::memory_order_relaxed);
    return S_OK;
}

HRESULT CRenderGraph::GetDuration(REFERENCE_TIME* duration) const
{
    if (!duration)
        return E_POINTER;
    *duration = frontEnd_ ? frontEnd_->duration() : 0;
    return S_OK;
}

HRESULT CRenderGraph::GetCurrentPosition(REFERENCE_TIME* position) const
{
    if (!position)
        return E_POINTER;
    *position = frontEnd_ ? frontEnd_->position() : 0;
    return S_OK;
}

CRenderEngine::~CRenderEngine()
{
    ScrapIt();
}

HRESULT CRenderEngine::SetTimelineObject(std::shared_ptr<CTimeline> timeline)
{
    if (!timeline)
        return E_POINTER;
    ScrapIt();
    timeline_ = std::move(timeline);
    return S_OK;
}

HRESULT CRenderEngine::ConnectFrontEnd()
{
    if (!timeline_)
        return E_UNEXPECTED;
    if (timeline_->GetGroupCount() == 0)
        return E_INVALIDARG;
    for (int i = 0; i < timeline_->GetGroupCount(); ++i) {
        VideoGroupFormat v;
        AudioGroupFormat a;
        const CMediaType& mt = timeline_->GetGroup(i)->mediaType();
        if (!ParseVideoFormat(mt, v) && !ParseAudioFormat(mt, a))
            return E_INVALIDARG;
    }
    ScrapIt();
    graph_ = std::make_shared<CRenderGraph>();
    frontEnd_ = std::make_shared<CRenderFrontEnd>(graph_.get(), *timeline_);
    graph_->setFrontEnd(frontEnd_.get());
    HRESULT hr = graph_->AddFilter(frontEnd_, "Render Engine");
    if (FAILED(hr))
        ScrapIt();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CRenderEngine::GetFilterGraph(std::shared_ptr<CRenderGraph>* graph) const
{
    if (!graph)
        return E_POINTER;
    *graph = graph_;
    return graph_ ? S_OK : E_UNEXPECTED;
}

HRESULT CRenderEngine::GetGroupOutputPin(int group, CBaseOutputPin** pin) const
{
    if (!pin)
        return E_POINTER;
    *pin = frontEnd_ ? frontEnd_->groupPin(group) : nullptr;
    return *pin ? S_OK : S_FALSE;
}

void CRenderEngine::ScrapIt()
{
    if (graph_) {
        graph_->Stop();
        graph_->setFrontEnd(nullptr);
    }
    graph_.reset();
    frontEnd_.reset();
}
