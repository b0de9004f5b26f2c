#include "engine/effect_filter.h"

#include "engine/effect_kernels.h"

#include <cstring>
#include <new>

CCopyTransformInputPin::CCopyTransformInputPin(CTransformFilter* filter, HRESULT* phr)
    : CTransformInputPin("CCopyTransformInputPin", filter, phr, "In")
{ }

CCopyTransformInputPin::~CCopyTransformInputPin() = default;

HRESULT CCopyTransformInputPin::QueryId(std::string* id)
{
    if (!id)
        return E_POINTER;
    *id = "In";
    return S_OK;
}

CCopyTransformOutputPin::CCopyTransformOutputPin(CTransformFilter* filter, HRESULT* phr)
    : CTransformOutputPin("CCopyTransformOutputPin", filter, phr, "Out")
{ }

CCopyTransformOutputPin::~CCopyTransformOutputPin() = default;

HRESULT CCopyTransformOutputPin::QueryId(std::string* id)
{
    if (!id)
        return E_POINTER;
    *id = "Out";
    return S_OK;
}

CCopyTransformFilter::CCopyTransformFilter(void* outer, HRESULT* phr)
    : CTransformFilter(nullptr, outer, GUID_NULL)
{
    std::lock_guard lock(m_csFilter);
    if (phr && FAILED(*phr))
        return;
    HRESULT local = S_OK;
    HRESULT* result = phr ? phr : &local;

    std::unique_ptr<CCopyTransformOutputPin> out(new (std::nothrow) CCopyTransformOutputPin(this, result));
    if (!out) {
        *result = E_OUTOFMEMORY;
        return;
    }
    if (FAILED(*result))
        return; // out is deleted
    m_pOutput = std::move(out);

    std::unique_ptr<CCopyTransformInputPin> in(new (std::nothrow) CCopyTransformInputPin(this, result));
    if (!in) {
        *result = E_OUTOFMEMORY;
        return;
    }
    if (FAILED(*result))
        return;
    m_pInput = std::move(in);
}

CCopyTransformFilter::~CCopyTransformFilter() = default;

std::shared_ptr<CCopyTransformFilter> CCopyTransformFilter::Create(HRESULT* phr)
{
    HRESULT hr = S_OK;
    std::shared_ptr<CCopyTransformFilter> filter(new (std::nothrow) CCopyTransformFilter(nullptr, &hr));
    if (!filter)
        hr = E_OUTOFMEMORY;
    if (phr)
        *phr = hr;
    return SUCCEEDED(hr) ? filter : nullptr;
}

HRESULT CCopyTransformFilter::CheckInputType(const CMediaType* mtIn)
{
    if (!mtIn)
        return E_POINTER;
    if (!(mtIn->majortype == MEDIATYPE_Video))
        return E_FAIL;
    const GUID& sub = mtIn->subtype;
    if (!(sub == MEDIASUBTYPE_RGB24) && !(sub == MEDIASUBTYPE_RGB32) && !(sub == MEDIASUBTYPE_RGB565)
        && !(sub == MEDIASUBTYPE_RGB555) && !(sub == MEDIASUBTYPE_RGB8))
        return E_FAIL;
    // A block too short for a VIDEOINFOHEADER is no VIDEOINFOHEADER either.
    if (!(mtIn->formattype == FORMAT_VideoInfo) || !mtIn->VideoInfo())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CCopyTransformFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    if (!mtIn || !mtOut)
        return E_POINTER;
    return *mtIn == *mtOut ? S_OK : E_FAIL;
}

HRESULT CCopyTransformFilter::GetMediaType(int position, CMediaType* mt)
{
    if (!InputPin()->IsConnected())
        return E_UNEXPECTED;
    return OfferOneMediaType(position, mt, InputPin()->CurrentMediaType());
}

HRESULT CCopyTransformFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!InputPin()->IsConnected())
        return E_UNEXPECTED;
    if (!allocator || !request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES inProps;
    {
        AllocatorPtr inAllocator;
        HRESULT hr = InputPin()->GetAllocator(&inAllocator);
        if (FAILED(hr))
            return hr;
        hr = inAllocator->GetProperties(&inProps);
        if (FAILED(hr))
            return hr;
    }
    const CMediaType& mt = InputPin()->CurrentMediaType();
    request->cBuffers = inProps.cBuffers < 1 ? 1 : inProps.cBuffers;
    request->cbBuffer = inProps.cbBuffer;
    if (request->cbBuffer < 1)
        request->cbBuffer = static_cast<std::int32_t>(mt.GetSampleSize());
    if (request->cbBuffer < 1 && mt.VideoInfo())
        request->cbBuffer = DibImageBytes(mt.VideoInfo()->bmiHeader); // variable-size type: one frame

    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(*request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer || actual.cbAlign < request->cbAlign)
        return E_FAIL;
    return S_OK;
}

namespace {

// S_OK → set, S_FALSE → clear, anything else → E_UNEXPECTED.
template <class Query, class Set> HRESULT CopyFlag(Query query, Set set)
{
    const HRESULT hr = query();
    if (hr == S_OK)
        return set(true);
    if (hr == S_FALSE)
        return set(false);
    return E_UNEXPECTED;
}

HRESULT CopyProperties(CMediaSample* in, CMediaSample* out)
{
    HRESULT hr = S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    if (in->GetTime(&start, &stop) == S_OK && FAILED(hr = out->SetTime(&start, &stop)))
        return hr;
    std::int64_t mediaStart = 0, mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK && FAILED(hr = out->SetMediaTime(&mediaStart, &mediaStop)))
        return hr;
    hr = CopyFlag([in] { return in->IsSyncPoint(); }, [out](bool v) { return out->SetSyncPoint(v); });
    if (FAILED(hr))
        return hr;
    std::unique_ptr<CMediaType> type;
    if (in->GetMediaType(&type) == S_OK && type) {
        hr = out->SetMediaType(type.get());
        type.reset();
        if (FAILED(hr))
            return hr;
    }
    hr = CopyFlag([in] { return in->IsPreroll(); }, [out](bool v) { return out->SetPreroll(v); });
    if (FAILED(hr))
        return hr;
    hr = CopyFlag([in] { return in->IsDiscontinuity(); }, [out](bool v) { return out->SetDiscontinuity(v); });
    if (FAILED(hr))
        return hr;
    return out->SetActualDataLength(in->GetActualDataLength());
}

// Masks of the 2-, 3- and 4-byte layouts; false for layouts the kernels do
// not process (8-bit palettised frames pass through as plain copies).
bool MasksFor(const CMediaType& mt, int bitCount, std::uint32_t masks[3])
{
    if (bitCount == 24 || bitCount == 32) {
        masks[0] = kRgb24RedMask, masks[1] = kRgb24GreenMask, masks[2] = kRgb24BlueMask;
        return true;
    }
    if (bitCount == 16 && mt.subtype == MEDIASUBTYPE_RGB565) {
        masks[0] = kRgb565RedMask, masks[1] = kRgb565GreenMask, masks[2] = kRgb565BlueMask;
        return true;
    }
    if (bitCount == 16) {
        masks[0] = kRgb555RedMask, masks[1] = kRgb555GreenMask, masks[2] = kRgb555BlueMask;
        return true;
    }
    return false;
}

} // namespace

HRESULT CCopyTransformFilter::Transform(CMediaSample* in, CMediaSample* out)
{
    if (!in || !out)
        return E_POINTER;
    HRESULT hr = CopyProperties(in, out);
    if (FAILED(hr))
        return hr;

    std::uint8_t* src = nullptr;
    std::uint8_t* dst = nullptr;
    if (FAILED(hr = in->GetPointer(&src)))
        return hr;
    if (FAILED(hr = out->GetPointer(&dst)))
        return hr;

    const CMediaType& mt = InputPin()->CurrentMediaType();
    const VIDEOINFOHEADER* vih = mt.VideoInfo();
    if (!vih)
        return E_UNEXPECTED;
    const std::int32_t width = vih->bmiHeader.biWidth;
    const int bitCount = vih->bmiHeader.biBitCount;
    // Top-down frames (negative height) are described to the kernels by their
    // rows in memory order: the first row in memory is then the top picture
    // row, so the mosaic grid starts at the top instead of the bottom. Every
    // other kernel gives the same picture either way.
    const std::int32_t height = vih->bmiHeader.biHeight < 0 ? -vih->bmiHeader.biHeight : vih->bmiHeader.biHeight;

    // The whole frame, row padding included.
    const std::int64_t stride = ((std::int64_t(width) * bitCount + 31) & ~std::int64_t(31)) / 8;
    const std::int64_t bytes = stride * height;
    if (width < 0 || bytes > in->GetSize() || bytes > out->GetSize())
        return E_FAIL;
    std::memcpy(dst, src, static_cast<std::size_t>(bytes));

    std::uint32_t masks[3];
    if (!MasksFor(mt, bitCount, masks))
        return S_OK;
    EffectImage srcImage, dstImage;
    for (auto [image, data] : { std::pair { &srcImage, src }, std::pair { &dstImage, dst } }) {
        InitEffectImage(image, data, width, height);
        SetEffectPixelFormat(image, bitCount / 8, masks[0], masks[1], masks[2], 0, 4);
    }
    ApplyEffect(&dstImage, CurrentEffectId.load(std::memory_order_relaxed)); // a refusal leaves the copy
    return S_OK;
}
