#include "engine/playback_file_source.h"

#include <algorithm>

CFileSourcePin::CFileSourcePin(
    CBaseFilter* filter, HRESULT* phr, const std::string& name, const CMediaType& mt, std::int32_t bufferSize)
    : CBaseOutputPin("File source output", filter, phr, name)
    , type_(mt)
    , bufferSize_(bufferSize)
{ }

HRESULT CFileSourcePin::CheckMediaType(const CMediaType& mt)
{
    return mt == type_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CFileSourcePin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = type_;
    return S_OK;
}

HRESULT CFileSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES want = *request;
    want.cBuffers = std::max(want.cBuffers, 2);
    want.cbBuffer = std::max(want.cbBuffer, bufferSize_);
    want.cbAlign = std::max(want.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(want, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

CFileSourceFilter::CFileSourceFilter()
    : CBaseFilter("File source", nullptr, GUID_NULL)
{ }

CFileSourcePin* CFileSourceFilter::addPin(const std::string& name, const CMediaType& mt, std::int32_t bufferSize)
{
    HRESULT hr = S_OK;
    pins_.push_back(std::make_unique<CFileSourcePin>(this, &hr, name, mt, bufferSize));
    return pins_.back().get();
}

CBasePin* CFileSourceFilter::GetPin(int n)
{
    return n >= 0 && n < int(pins_.size()) ? pins_[std::size_t(n)].get() : nullptr;
}
