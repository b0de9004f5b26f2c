#include "platform/media/media_sample.h"

#include <bit>
#include <cstring>
#include <new>

CMediaSample::CMediaSample(std::uint8_t* buffer, std::int32_t size)
    : buffer_(buffer)
    , size_(size)
{ }

HRESULT CMediaSample::GetPointer(std::uint8_t** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = buffer_;
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!hasTime_)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    *stop = stop_;
    return S_OK;
}

HRESULT CMediaSample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop)
{
    hasTime_ = start != nullptr;
    start_ = start ? *start : 0;
    stop_ = stop ? *stop : start_;
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(std::int64_t* start, std::int64_t* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!hasMediaTime_)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = mediaStart_;
    *stop = mediaStop_;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(const std::int64_t* start, const std::int64_t* stop)
{
    hasMediaTime_ = start != nullptr;
    mediaStart_ = start ? *start : 0;
    mediaStop_ = stop ? *stop : mediaStart_;
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint()
{
    return syncPoint_ ? S_OK : S_FALSE;
}
HRESULT CMediaSample::SetSyncPoint(bool value)
{
    syncPoint_ = value;
    return S_OK;
}
HRESULT CMediaSample::IsPreroll()
{
    return preroll_ ? S_OK : S_FALSE;
}
HRESULT CMediaSample::SetPreroll(bool value)
{
    preroll_ = value;
    return S_OK;
}
HRESULT CMediaSample::IsDiscontinuity()
{
    return discontinuity_ ? S_OK : S_FALSE;
}
HRESULT CMediaSample::SetDiscontinuity(bool value)
{
    discontinuity_ = value;
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(std::int32_t length)
{
    if (length < 0 || length > size_)
        return E_INVALIDARG;
    actualLength_ = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(std::unique_ptr<CMediaType>* type)
{
    if (!type)
        return E_POINTER;
    if (!type_) {
        type->reset();
        return S_FALSE;
    }
    *type = std::make_unique<CMediaType>(*type_);
    return S_OK;
}

HRESULT CMediaSample::SetMediaType(const CMediaType* type)
{
    if (type)
        type_ = std::make_unique<CMediaType>(*type);
    else
        type_.reset();
    return S_OK;
}

void CMediaSample::ResetProperties()
{
    actualLength_ = 0;
    hasTime_ = hasMediaTime_ = false;
    syncPoint_ = preroll_ = discontinuity_ = false;
    start_ = stop_ = mediaStart_ = mediaStop_ = 0;
    type_.reset();
}

CMemAllocator::~CMemAllocator() = default;

HRESULT CMemAllocator::SetProperties(const ALLOCATOR_PROPERTIES& request, ALLOCATOR_PROPERTIES* actual)
{
    if (!actual)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    if (committed_ || outstanding_ > 0)
        return VFW_E_ALREADY_COMMITTED;
    if (request.cBuffers < 0 || request.cbBuffer < 0 || request.cbPrefix < 0 || request.cbAlign < 0)
        return E_INVALIDARG;
    const std::int32_t align = request.cbAlign == 0 ? 1 : request.cbAlign;
    if (!std::has_single_bit(static_cast<std::uint32_t>(align)))
        return VFW_E_BADALIGN;
    props_ = request;
    props_.cbAlign = align;
    propsSet_ = true;
    *actual = props_;
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *props = props_;
    return S_OK;
}

HRESULT CMemAllocator::Commit()
{
    std::lock_guard lock(mutex_);
    // No buffers would leave every GetBuffer waiting for ever.
    if (!propsSet_ || props_.cBuffers < 1 || props_.cbBuffer < 1)
        return VFW_E_SIZENOTSET;
    decommitPending_ = false;
    if (committed_)
        return S_OK;
    if (samples_.empty() && outstanding_ == 0) {
        // One block: each buffer starts at an aligned offset after its prefix.
        const std::size_t align = static_cast<std::size_t>(props_.cbAlign);
        const std::size_t slot
            = (static_cast<std::size_t>(props_.cbPrefix) + props_.cbBuffer + align - 1) / align * align;
        try {
            memory_.assign(slot * props_.cBuffers + align, 0);
            const auto base = reinterpret_cast<std::uintptr_t>(memory_.data());
            const std::size_t skew = (align - (base + props_.cbPrefix) % align) % align;
            for (int i = 0; i < props_.cBuffers; ++i) {
                std::uint8_t* p = memory_.data() + skew + props_.cbPrefix + slot * i;
                samples_.push_back(std::make_unique<CMediaSample>(p, props_.cbBuffer));
                free_.push_back(samples_.back().get());
            }
        } catch (const std::bad_alloc&) {
            samples_.clear();
            free_.clear();
            memory_.clear();
            return E_OUTOFMEMORY;
        }
    }
    committed_ = true;
    return S_OK;
}

void CMemAllocator::FreeBuffersLocked()
{
    free_.clear();
    samples_.clear();
    memory_.clear();
    memory_.shrink_to_fit();
    decommitPending_ = false;
}

HRESULT CMemAllocator::Decommit()
{
    std::lock_guard lock(mutex_);
    if (!committed_)
        return S_OK;
    committed_ = false;
    if (outstanding_ == 0)
        FreeBuffersLocked();
    else
        decommitPending_ = true;
    freed_.notify_all();
    return S_OK;
}

HRESULT CMemAllocator::GetBuffer(SamplePtr* sample, std::uint32_t flags)
{
    if (!sample)
        return E_POINTER;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!committed_)
            return VFW_E_NOT_COMMITTED;
        if (!free_.empty())
            break;
        if (flags & AM_GBF_NOWAIT)
            return VFW_E_TIMEOUT;
        freed_.wait(lock);
    }
    CMediaSample* s = free_.back();
    free_.pop_back();
    ++outstanding_;
    lock.unlock();
    s->ResetProperties();
    // The sample goes back to the pool when the last holder lets go; the
    // deleter keeps the allocator alive until then.
    auto self = std::static_pointer_cast<CMemAllocator>(shared_from_this());
    *sample = SamplePtr(s, [self](CMediaSample* p) { self->ReturnSample(p); });
    return S_OK;
}

void CMemAllocator::ReturnSample(CMediaSample* sample)
{
    std::lock_guard lock(mutex_);
    --outstanding_;
    free_.push_back(sample);
    if (decommitPending_ && outstanding_ == 0)
        FreeBuffersLocked();
    freed_.notify_one();
}
