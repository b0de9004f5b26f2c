#include "platform/media/simple_filters.h"

#include <cstring>

CPushSourcePin::CPushSourcePin(CPushSourceFilter* filter, HRESULT* phr, const std::string& name)
    : CBaseOutputPin("CPushSourcePin", filter, phr, name)
    , source_(filter)
{ }

HRESULT CPushSourcePin::CheckMediaType(const CMediaType& mt)
{
    return mt == source_->MediaType() ? S_OK : S_FALSE;
}

HRESULT CPushSourcePin::GetMediaType(int position, CMediaType* mt)
{
    return OfferOneMediaType(position, mt, source_->MediaType());
}

HRESULT CPushSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = source_->Buffers();
    request->cbBuffer = source_->BufferSize();
    if (request->cbAlign < 1)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(*request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

CPushSourceFilter::CPushSourceFilter(
    const CMediaType& mt, std::int32_t buffers, std::int32_t bufferSize, const std::string& pinName)
    : CBaseFilter("CPushSourceFilter", nullptr, GUID_NULL)
    , mt_(mt)
    , buffers_(buffers)
    , bufferSize_(bufferSize)
    , pin_(this, nullptr, pinName)
{ }

HRESULT CPushSourceFilter::DeliverFrame(
    const void* data, std::int32_t length, const REFERENCE_TIME* start, const REFERENCE_TIME* stop, bool syncPoint)
{
    SamplePtr sample;
    HRESULT hr = pin_.GetDeliveryBuffer(&sample);
    if (FAILED(hr))
        return hr;
    if (length < 0 || length > sample->GetSize() || (length > 0 && !data))
        return E_INVALIDARG;
    std::uint8_t* dst = nullptr;
    sample->GetPointer(&dst);
    if (length > 0)
        std::memcpy(dst, data, static_cast<std::size_t>(length));
    sample->SetActualDataLength(length);
    if (start)
        sample->SetTime(start, stop);
    sample->SetSyncPoint(syncPoint);
    return pin_.Deliver(sample);
}

CSampleSinkPin::CSampleSinkPin(CSampleSinkFilter* filter, HRESULT* phr, const std::string& name)
    : CBaseInputPin("CSampleSinkPin", filter, phr, name)
    , sink_(filter)
{ }

HRESULT CSampleSinkPin::CheckMediaType(const CMediaType& mt)
{
    return mt.MatchesPartial(sink_->accepted_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSampleSinkPin::Receive(const SamplePtr& sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    return sink_->onSample_ ? sink_->onSample_(sample) : S_OK;
}

HRESULT CSampleSinkPin::EndOfStream()
{
    if (sink_->onEnd_)
        sink_->onEnd_();
    return S_OK;
}

CSampleSinkFilter::CSampleSinkFilter(const CMediaType& accepted, SampleCallback onSample, const std::string& pinName)
    : CBaseFilter("CSampleSinkFilter", nullptr, GUID_NULL)
    , accepted_(accepted)
    , onSample_(std::move(onSample))
    , pin_(this, nullptr, pinName)
{ }
