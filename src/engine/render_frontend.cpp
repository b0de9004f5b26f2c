#include "engine/render_frontend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace {
// How far sound may run ahead of the pictures.
constexpr REFERENCE_TIME kSoundLead = 10000000;
// Sound is delivered in samples of a tenth of a second.
constexpr int kAudioChunksPerSecond = 10;
constexpr int kBufferCount = 4;

REFERENCE_TIME SampleTime(std::int64_t sample, int rate)
{
    return sample * 10000000 / rate;
}
} // namespace

CRenderGroupPin::CRenderGroupPin(CRenderFrontEnd* filter, HRESULT* phr, int groupIndex,
    std::shared_ptr<const CTimelineGroup> group, REFERENCE_TIME duration)
    : CBaseOutputPin("Render engine group output", filter, phr, "Output " + std::to_string(groupIndex))
    , frontEnd_(filter)
    , group_(group)
    , renderer_(groupIndex, std::move(group), duration)
{ }

HRESULT CRenderGroupPin::CheckMediaType(const CMediaType& mt)
{
    return mt == group_->mediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CRenderGroupPin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = group_->mediaType();
    return S_OK;
}

HRESULT CRenderGroupPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES want = *request;
    want.cBuffers = std::max(want.cBuffers, kBufferCount);
    if (renderer_.isVideo()) {
        want.cbBuffer = std::max<std::int32_t>(want.cbBuffer, std::int32_t(group_->mediaType().GetSampleSize()));
    } else {
        const AudioGroupFormat& a = renderer_.audioFormat();
        const int chunk = std::max(1, a.sampleRate / kAudioChunksPerSecond);
        want.cbBuffer = std::max(want.cbBuffer, chunk * a.blockAlign);
    }
    if (want.cbAlign <= 0)
        want.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(want, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < want.cbBuffer || actual.cBuffers < 1 ? E_FAIL : S_OK;
}

void CRenderGroupPin::stream()
{
    HRESULT hr = E_OUTOFMEMORY;
    try {
        hr = renderer_.isVideo() ? streamVideo() : streamAudio();
    } catch (const std::bad_alloc&) {
        // Running out of memory aborts the graph's run like any other error.
    }
    done_.store(true, std::memory_order_release);
    if (FAILED(hr) && !frontEnd_->stopping())
        frontEnd_->graph_->NotifyEvent(EC_ERRORABORT, hr);
    else if (!frontEnd_->stopping())
        DeliverEndOfStream();
    frontEnd_->pinAdvanced(); // wakes a sound pin waiting for this one
}

HRESULT CRenderGroupPin::deliverAt(const SamplePtr& sample, REFERENCE_TIME start, REFERENCE_TIME stop,
    std::int64_t mediaStart, std::int64_t mediaStop, std::int32_t bytes)
{
    sample->SetTime(&start, &stop);
    frontEnd_->waitForClock(start);
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(true);
    sample->SetDiscontinuity(mediaStart == 0);
    sample->SetActualDataLength(bytes);
    const HRESULT hr = Deliver(sample);
    if (FAILED(hr))
        return frontEnd_->stopping() ? S_FALSE : hr;
    position_.store(stop, std::memory_order_release);
    frontEnd_->pinAdvanced();
    return S_OK;
}

HRESULT CRenderGroupPin::streamVideo()
{
    const std::int64_t frames = renderer_.frameCount();
    for (std::int64_t i = 0; i < frames && !frontEnd_->stopping(); ++i) {
        SamplePtr sample;
        HRESULT hr = GetDeliveryBuffer(&sample);
        if (FAILED(hr))
            return frontEnd_->stopping() ? S_OK : hr;
        std::uint8_t* data = nullptr;
        sample->GetPointer(&data);
        renderer_.RenderVideoFrame(i, data);
        hr = deliverAt(sample, renderer_.frameTime(i), renderer_.frameTime(i + 1), i, i + 1,
            std::int32_t(group_->mediaType().GetSampleSize()));
        if (hr != S_OK)
            return hr == S_FALSE ? S_OK : hr;
    }
    position_.store(renderer_.duration(), std::memory_order_release);
    return S_OK;
}

HRESULT CRenderGroupPin::streamAudio()
{
    const AudioGroupFormat& a = renderer_.audioFormat();
    const std::int64_t total = renderer_.sampleCount();
    const int chunk = std::max(1, a.sampleRate / kAudioChunksPerSecond);
    for (std::int64_t first = 0; first < total && !frontEnd_->stopping(); first += chunk) {
        frontEnd_->waitForPeers(this);
        if (frontEnd_->stopping())
            break;
        const int n = int(std::min<std::int64_t>(chunk, total - first));
        SamplePtr sample;
        HRESULT hr = GetDeliveryBuffer(&sample);
        if (FAILED(hr))
            return frontEnd_->stopping() ? S_OK : hr;
        std::uint8_t* data = nullptr;
        sample->GetPointer(&data);
        renderer_.RenderAudio(first, n, reinterpret_cast<std::int16_t*>(data));
        hr = deliverAt(sample, SampleTime(first, a.sampleRate), SampleTime(first + n, a.sampleRate), first, first + n,
            n * a.blockAlign);
        if (hr != S_OK)
            return hr == S_FALSE ? S_OK : hr;
    }
    position_.store(renderer_.duration(), std::memory_order_release);
    return S_OK;
}

CRenderFrontEnd::CRenderFrontEnd(CRenderGraph* graph, const CTimeline& timeline)
    : CBaseFilter("Render engine front end", nullptr, GUID_NULL)
    , graph_(graph)
    , duration_(timeline.duration())
{
    HRESULT hr = S_OK;
    for (int i = 0; i < timeline.GetGroupCount(); ++i)
        pins_.push_back(std::make_unique<CRenderGroupPin>(this, &hr, i, timeline.GetGroup(i), duration_));
}

CRenderFrontEnd::~CRenderFrontEnd()
{
    stop_.store(true, std::memory_order_release);
    paced_.notify_all();
    joinThreads();
}

CBasePin* CRenderFrontEnd::GetPin(int n)
{
    return n >= 0 && n < int(pins_.size()) ? pins_[std::size_t(n)].get() : nullptr;
}

CRenderGroupPin* CRenderFrontEnd::groupPin(int group) const
{
    return group >= 0 && group < int(pins_.size()) ? pins_[std::size_t(group)].get() : nullptr;
}

HRESULT CRenderFrontEnd::Run(REFERENCE_TIME start)
{
    std::lock_guard lock(m_csFilter);
    const bool wasRunning = State() == State_Running;
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr) || wasRunning)
        return hr;
    {
        std::lock_guard paceLock(paceMutex_);
        const auto now = std::chrono::steady_clock::now();
        if (paused_ && std::any_of(pins_.begin(), pins_.end(), [](const auto& p) { return p->thread_.joinable(); })) {
            // Resuming: the clock skips the pause and the threads go on.
            clockStart_ += now - pausedAt_;
            paused_ = false;
            paced_.notify_all();
            return S_OK;
        }
        clockStart_ = now;
        paused_ = false;
    }
    joinThreads();
    stop_.store(false, std::memory_order_release);
    for (auto& pin : pins_) {
        pin->done_.store(!pin->IsConnected(), std::memory_order_release);
        pin->position_.store(0, std::memory_order_release);
    }
    for (auto& pin : pins_)
        if (pin->IsConnected()) {
            pin->thread_ = std::thread([p = pin.get()] { p->stream(); });
        }
    return S_OK;
}

HRESULT CRenderFrontEnd::Pause()
{
    std::lock_guard lock(m_csFilter);
    if (State() == State_Running) {
        std::lock_guard paceLock(paceMutex_);
        paused_ = true;
        pausedAt_ = std::chrono::steady_clock::now();
    }
    return CBaseFilter::Pause();
}

HRESULT CRenderFrontEnd::Stop()
{
    {
        std::lock_guard lock(paceMutex_);
        stop_.store(true, std::memory_order_release);
    }
    paced_.notify_all();
    joinThreads();
    return CBaseFilter::Stop();
}

void CRenderFrontEnd::joinThreads()
{
    for (auto& pin : pins_)
        if (pin->thread_.joinable())
            pin->thread_.join();
}

bool CRenderFrontEnd::anyConnected() const
{
    for (const auto& pin : pins_)
        if (pin->IsConnected())
            return true;
    return false;
}

REFERENCE_TIME CRenderFrontEnd::position() const
{
    REFERENCE_TIME least = duration_;
    bool any = false;
    for (const auto& pin : pins_)
        if (pin->IsConnected()) {
            least = std::min(least, pin->position_.load(std::memory_order_acquire));
            any = true;
        }
    return any ? least : 0;
}

void CRenderFrontEnd::waitForPeers(const CRenderGroupPin* pin)
{
    std::unique_lock lock(paceMutex_);
    paced_.wait(lock, [&] {
        if (stopping())
            return true;
        const REFERENCE_TIME own = pin->position_.load(std::memory_order_acquire);
        for (const auto& other : pins_)
            if (other.get() != pin && other->renderer_.isVideo() && !other->done_.load(std::memory_order_acquire)
                && own > other->position_.load(std::memory_order_acquire) + kSoundLead)
                return false;
        return true;
    });
}

void CRenderFrontEnd::waitForClock(REFERENCE_TIME t)
{
    if (!graph_->HasClock())
        return;
    std::unique_lock lock(paceMutex_);
    while (!stopping()) {
        if (paused_) {
            paced_.wait(lock);
            continue;
        }
        const auto due = clockStart_ + std::chrono::microseconds(t / 10);
        if (std::chrono::steady_clock::now() >= due)
            return;
        paced_.wait_until(lock, due);
    }
}

void CRenderFrontEnd::pinAdvanced()
{
    {
        std::lock_guard lock(paceMutex_);
    }
    paced_.notify_all();
}
