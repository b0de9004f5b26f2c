#include "platform/media/transform_filter.h"

// ---- CTransformInputPin ----

CTransformInputPin::CTransformInputPin(
    const char* objectName, CTransformFilter* filter, HRESULT* phr, const std::string& name)
    : CBaseInputPin(objectName, filter, phr, name)
    , m_pTransformFilter(filter)
{ }

HRESULT CTransformInputPin::CheckMediaType(const CMediaType& mt)
{
    HRESULT hr = m_pTransformFilter->CheckInputType(&mt);
    if (hr != S_OK)
        return hr;
    CTransformOutputPin* out = m_pTransformFilter->OutputPin();
    if (out && out->IsConnected())
        return m_pTransformFilter->CheckTransform(&mt, &out->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType& mt)
{
    HRESULT hr = CBaseInputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, &mt);
}

HRESULT CTransformInputPin::CheckConnect(CBasePin* pin)
{
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::CompleteConnect(CBasePin* receivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::Receive(const SamplePtr& sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    return m_pTransformFilter->Receive(sample);
}

HRESULT CTransformInputPin::EndOfStream()
{
    return m_pTransformFilter->EndOfStream();
}

HRESULT CTransformInputPin::BeginFlush()
{
    CBaseInputPin::BeginFlush();
    return m_pTransformFilter->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush()
{
    CBaseInputPin::EndFlush();
    return m_pTransformFilter->EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_pTransformFilter->NewSegment(start, stop, rate);
}

// ---- CTransformOutputPin ----

CTransformOutputPin::CTransformOutputPin(
    const char* objectName, CTransformFilter* filter, HRESULT* phr, const std::string& name)
    : CBaseOutputPin(objectName, filter, phr, name)
    , m_pTransformFilter(filter)
{ }

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType& mt)
{
    CTransformInputPin* in = m_pTransformFilter->InputPin();
    if (!in || !in->IsConnected())
        return E_UNEXPECTED;
    return m_pTransformFilter->CheckTransform(&in->CurrentMediaType(), &mt);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt)
{
    CTransformInputPin* in = m_pTransformFilter->InputPin();
    if (!in || !in->IsConnected())
        return E_UNEXPECTED;
    return m_pTransformFilter->GetMediaType(position, mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType& mt)
{
    HRESULT hr = CBaseOutputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, &mt);
}

HRESULT CTransformOutputPin::CheckConnect(CBasePin* pin)
{
    CTransformInputPin* in = m_pTransformFilter->InputPin();
    if (!in || !in->IsConnected())
        return E_UNEXPECTED;
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::CompleteConnect(CBasePin* receivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return m_pTransformFilter->DecideBufferSize(allocator, request);
}

// ---- CTransformFilter ----

CTransformFilter::CTransformFilter(const char* objectName, void* outer, const CLSID& clsid)
    : CBaseFilter(objectName, outer, clsid)
{ }

CTransformFilter::~CTransformFilter()
{
    // Output first: it holds the allocator the input may share.
    m_pOutput.reset();
    m_pInput.reset();
}

CTransformInputPin* CTransformFilter::InputPin()
{
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = std::make_unique<CTransformInputPin>("Transform input pin", this, &hr, "XForm In");
    }
    return m_pInput.get();
}

CTransformOutputPin* CTransformFilter::OutputPin()
{
    if (!m_pOutput) {
        HRESULT hr = S_OK;
        m_pOutput = std::make_unique<CTransformOutputPin>("Transform output pin", this, &hr, "XForm Out");
    }
    return m_pOutput.get();
}

CBasePin* CTransformFilter::GetPin(int n)
{
    if (n == 0)
        return InputPin();
    if (n == 1)
        return OutputPin();
    return nullptr;
}

HRESULT CTransformFilter::Transform(CMediaSample*, CMediaSample*)
{
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::InitializeOutputSample(CMediaSample*, SamplePtr* out)
{
    return OutputPin()->GetDeliveryBuffer(out);
}

HRESULT CTransformFilter::Receive(const SamplePtr& sample)
{
    if (!OutputPin()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    SamplePtr out;
    HRESULT hr = InitializeOutputSample(sample.get(), &out);
    if (FAILED(hr))
        return hr;
    hr = Transform(sample.get(), out.get());
    if (FAILED(hr))
        return hr;
    if (hr == S_FALSE)
        return S_OK; // dropped on purpose
    return OutputPin()->Deliver(out);
}

HRESULT CTransformFilter::EndOfStream()
{
    return OutputPin()->IsConnected() ? OutputPin()->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush()
{
    return OutputPin()->IsConnected() ? OutputPin()->DeliverBeginFlush() : S_OK;
}

HRESULT CTransformFilter::EndFlush()
{
    return OutputPin()->IsConnected() ? OutputPin()->DeliverEndFlush() : S_OK;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return OutputPin()->IsConnected() ? OutputPin()->DeliverNewSegment(start, stop, rate) : S_OK;
}

HRESULT CTransformFilter::Stop()
{
    std::lock_guard lock(m_csFilter);
    const bool wasActive = IsActive();
    HRESULT hr = CBaseFilter::Stop();
    if (wasActive)
        StopStreaming();
    return hr;
}

HRESULT CTransformFilter::Pause()
{
    std::lock_guard lock(m_csFilter);
    if (IsStopped()) {
        HRESULT hr = StartStreaming();
        if (FAILED(hr))
            return hr;
    }
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr))
        StopStreaming();
    return hr;
}
