// Samples and allocators of the streaming graph. A sample is one buffer from
// an allocator's pool together with its properties (times, flags, actual
// data length, an optional attached media type). Samples are handed around
// as std::shared_ptr; when the last holder lets go the buffer returns to its
// allocator's pool. Allocators are shared between an output pin and the
// input pin it delivers to.
#pragma once

#include "platform/hresult.h"
#include "platform/media/media_errors.h"
#include "platform/media/media_types.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CMediaSample {
public:
    // A sample over size bytes at buffer (not owned).
    CMediaSample(std::uint8_t* buffer, std::int32_t size);
    virtual ~CMediaSample() = default;
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    virtual HRESULT GetPointer(std::uint8_t** buffer);
    virtual std::int32_t GetSize() const { return size_; }

    // S_OK with both times when set, VFW_E_SAMPLE_TIME_NOT_SET otherwise.
    // SetTime(nullptr, ...) clears the times.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop);
    virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop);
    // Likewise for the media time (VFW_E_MEDIA_TIME_NOT_SET).
    virtual HRESULT GetMediaTime(std::int64_t* start, std::int64_t* stop);
    virtual HRESULT SetMediaTime(const std::int64_t* start, const std::int64_t* stop);

    // The flags answer S_OK when set and S_FALSE when clear.
    virtual HRESULT IsSyncPoint();
    virtual HRESULT SetSyncPoint(bool value);
    virtual HRESULT IsPreroll();
    virtual HRESULT SetPreroll(bool value);
    virtual HRESULT IsDiscontinuity();
    virtual HRESULT SetDiscontinuity(bool value);

    virtual std::int32_t GetActualDataLength() const { return actualLength_; }
    // E_INVALIDARG (length unchanged) when length is negative or above the size.
    virtual HRESULT SetActualDataLength(std::int32_t length);

    // S_OK and a copy of the attached type in *type, or S_FALSE (and *type
    // reset) when no type is attached. SetMediaType(nullptr) detaches.
    virtual HRESULT GetMediaType(std::unique_ptr<CMediaType>* type);
    virtual HRESULT SetMediaType(const CMediaType* type);

    // Clears every property (used when the sample returns to its pool).
    void ResetProperties();

private:
    std::uint8_t* buffer_;
    std::int32_t size_;
    std::int32_t actualLength_ = 0;
    bool hasTime_ = false;
    bool hasMediaTime_ = false;
    bool syncPoint_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    std::int64_t mediaStart_ = 0;
    std::int64_t mediaStop_ = 0;
    std::unique_ptr<CMediaType> type_;
};

using SamplePtr = std::shared_ptr<CMediaSample>;

struct ALLOCATOR_PROPERTIES {
    std::int32_t cBuffers = 0;
    std::int32_t cbBuffer = 0;
    std::int32_t cbAlign = 0;
    std::int32_t cbPrefix = 0;
};

// GetBuffer flag: fail with VFW_E_TIMEOUT instead of waiting for a free buffer.
inline constexpr std::uint32_t AM_GBF_NOWAIT = 4;

class IMemAllocator {
public:
    virtual ~IMemAllocator() = default;
    // Asks for request; *actual receives what the allocator grants (it may
    // grant other values, the caller checks).
    virtual HRESULT SetProperties(const ALLOCATOR_PROPERTIES& request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
    // Commit allocates the buffers; Decommit releases them once every sample
    // is back and makes waiting GetBuffer calls fail with VFW_E_NOT_COMMITTED.
    virtual HRESULT Commit() = 0;
    virtual HRESULT Decommit() = 0;
    // A free sample, waiting for one unless AM_GBF_NOWAIT.
    virtual HRESULT GetBuffer(SamplePtr* sample, std::uint32_t flags = 0) = 0;
};

using AllocatorPtr = std::shared_ptr<IMemAllocator>;

// The memory allocator: cBuffers buffers of cbBuffer bytes (plus cbPrefix
// bytes before each), aligned to cbAlign (a power of two).
class CMemAllocator : public IMemAllocator, public std::enable_shared_from_this<CMemAllocator> {
public:
    static std::shared_ptr<CMemAllocator> Create() { return std::shared_ptr<CMemAllocator>(new CMemAllocator()); }
    ~CMemAllocator() override;

    // VFW_E_ALREADY_COMMITTED while committed, VFW_E_BADALIGN for an
    // alignment that is not a power of two, E_INVALIDARG for negative values.
    HRESULT SetProperties(const ALLOCATOR_PROPERTIES& request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
    // VFW_E_SIZENOTSET without properties or with no buffers or no bytes; E_OUTOFMEMORY.
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(SamplePtr* sample, std::uint32_t flags = 0) override;

protected:
    CMemAllocator() = default;

private:
    void ReturnSample(CMediaSample* sample);
    void FreeBuffersLocked();

    std::mutex mutex_;
    std::condition_variable freed_;
    ALLOCATOR_PROPERTIES props_;
    bool propsSet_ = false;
    bool committed_ = false;
    bool decommitPending_ = false;
    int outstanding_ = 0;
    std::vector<std::unique_ptr<CMediaSample>> samples_;
    std::vector<CMediaSample*> free_;
    std::vector<std::uint8_t> memory_;
};
