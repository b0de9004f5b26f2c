#include "platform/media/media_filter.h"

// ---- CBasePin ----

CBasePin::CBasePin(const char* objectName, CBaseFilter* filter, HRESULT*, const std::string& name, PIN_DIRECTION dir)
    : objectName_(objectName)
    , filter_(filter)
    , name_(name)
    , direction_(dir)
{ }

CBasePin::~CBasePin()
{
    // The peer (still whole) must not keep pointing at a pin that is gone.
    if (connected_ && connected_->connected_ == this)
        connected_->Disconnect();
}

void CBasePin::ClearConnection()
{
    connected_ = nullptr;
    m_mt = CMediaType();
}

HRESULT CBasePin::QueryId(std::string* id)
{
    if (!id)
        return E_POINTER;
    *id = name_;
    return S_OK;
}

HRESULT CBasePin::QueryInternalConnections(CBasePin**, int*)
{
    return E_NOTIMPL;
}

HRESULT CBasePin::ConnectionMediaType(CMediaType* mt) const
{
    if (!mt)
        return E_POINTER;
    if (!connected_) {
        *mt = CMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    *mt = m_mt;
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType*)
{
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType& mt)
{
    m_mt = mt;
    return S_OK;
}

HRESULT CBasePin::CheckConnect(CBasePin* pin)
{
    if (!pin)
        return E_POINTER;
    if (pin->Direction() == direction_)
        return VFW_E_INVALID_DIRECTION;
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(CBasePin*)
{
    return S_OK;
}
HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::Connect(CBasePin* receivePin, const CMediaType* mt)
{
    if (!receivePin)
        return E_POINTER;
    if (connected_)
        return VFW_E_ALREADY_CONNECTED;
    if (filter_ && filter_->IsActive())
        return VFW_E_FILTER_ACTIVE;
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    if (mt && mt->IsFullySpecified()) {
        hr = AttemptConnection(receivePin, *mt);
        return hr;
    }
    // The receiver's preferred types first, then ours.
    hr = TryTypesOf(receivePin, receivePin, mt);
    if (hr == S_OK)
        return S_OK;
    HRESULT hr2 = TryTypesOf(this, receivePin, mt);
    if (hr2 == S_OK)
        return S_OK;
    BreakConnect();
    // A specific refusal tells more than "no acceptable types".
    if (FAILED(hr2) && hr2 != VFW_E_NO_ACCEPTABLE_TYPES)
        return hr2;
    if (FAILED(hr) && hr != VFW_E_NO_ACCEPTABLE_TYPES)
        return hr;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryTypesOf(CBasePin* source, CBasePin* receivePin, const CMediaType* partial)
{
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0;; ++i) {
        CMediaType candidate;
        HRESULT hr = source->GetMediaType(i, &candidate);
        if (hr != S_OK)
            break;
        if (partial && !candidate.MatchesPartial(*partial))
            continue;
        hr = AttemptConnection(receivePin, candidate);
        if (hr == S_OK)
            return S_OK;
        last = hr;
    }
    return last;
}

HRESULT CBasePin::AttemptConnection(CBasePin* receivePin, const CMediaType& mt)
{
    HRESULT hr = CheckMediaType(mt);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    connected_ = receivePin;
    hr = SetMediaType(mt);
    if (SUCCEEDED(hr))
        hr = receivePin->ReceiveConnection(this, mt);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(receivePin);
        if (FAILED(hr))
            receivePin->Disconnect();
    }
    if (FAILED(hr)) {
        BreakConnect();
        ClearConnection();
        return hr;
    }
    return S_OK;
}

HRESULT CBasePin::ReceiveConnection(CBasePin* connector, const CMediaType& mt)
{
    if (!connector)
        return E_POINTER;
    if (connected_)
        return VFW_E_ALREADY_CONNECTED;
    if (filter_ && filter_->IsActive())
        return VFW_E_FILTER_ACTIVE;
    HRESULT hr = CheckConnect(connector);
    if (SUCCEEDED(hr)) {
        hr = CheckMediaType(mt);
        if (hr == S_FALSE)
            hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (SUCCEEDED(hr)) {
        connected_ = connector;
        hr = SetMediaType(mt);
        if (SUCCEEDED(hr))
            hr = CompleteConnect(connector);
    }
    if (FAILED(hr)) {
        BreakConnect();
        ClearConnection();
    }
    return hr;
}

HRESULT CBasePin::Disconnect()
{
    if (!connected_)
        return S_FALSE;
    BreakConnect();
    ClearConnection();
    return S_OK;
}

// ---- CBaseInputPin ----

CBaseInputPin::CBaseInputPin(const char* objectName, CBaseFilter* filter, HRESULT* phr, const std::string& name)
    : CBasePin(objectName, filter, phr, name, PINDIR_INPUT)
{ }

HRESULT CBaseInputPin::GetAllocator(AllocatorPtr* allocator)
{
    if (!allocator)
        return E_POINTER;
    if (!m_pAllocator)
        m_pAllocator = CMemAllocator::Create();
    *allocator = m_pAllocator;
    return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(const AllocatorPtr& allocator, bool readOnly)
{
    if (!allocator)
        return E_POINTER;
    m_pAllocator = allocator;
    readOnly_ = readOnly;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::Receive(const SamplePtr& sample)
{
    if (!sample)
        return E_POINTER;
    if (IsFlushing())
        return S_FALSE;
    if (Filter() && Filter()->IsStopped())
        return VFW_E_WRONG_STATE;
    return S_OK;
}

HRESULT CBaseInputPin::BeginFlush()
{
    flushing_.store(true, std::memory_order_relaxed);
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush()
{
    flushing_.store(false, std::memory_order_relaxed);
    return S_OK;
}

HRESULT CBaseInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT CBaseInputPin::CheckConnect(CBasePin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    return dynamic_cast<CBaseOutputPin*>(pin) ? S_OK : E_NOINTERFACE;
}

HRESULT CBaseInputPin::BreakConnect()
{
    m_pAllocator.reset();
    readOnly_ = false;
    return S_OK;
}

// ---- CBaseOutputPin ----

CBaseOutputPin::CBaseOutputPin(const char* objectName, CBaseFilter* filter, HRESULT* phr, const std::string& name)
    : CBasePin(objectName, filter, phr, name, PINDIR_OUTPUT)
{ }

HRESULT CBaseOutputPin::CheckConnect(CBasePin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    return dynamic_cast<CBaseInputPin*>(pin) ? S_OK : E_NOINTERFACE;
}

HRESULT CBaseOutputPin::CompleteConnect(CBasePin* receivePin)
{
    auto* input = dynamic_cast<CBaseInputPin*>(receivePin);
    if (!input)
        return E_NOINTERFACE;
    HRESULT hr = DecideAllocator(input, &m_pAllocator);
    if (SUCCEEDED(hr))
        inputPin_ = input;
    return hr;
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator.reset();
    }
    inputPin_ = nullptr;
    return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(AllocatorPtr* allocator)
{
    *allocator = CMemAllocator::Create();
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(CBaseInputPin* pin, AllocatorPtr* allocator)
{
    allocator->reset();
    ALLOCATOR_PROPERTIES props;
    pin->GetAllocatorRequirements(&props);
    if (props.cbAlign == 0)
        props.cbAlign = 1;

    AllocatorPtr candidate;
    HRESULT hr = pin->GetAllocator(&candidate);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(candidate.get(), &props);
        if (SUCCEEDED(hr))
            hr = pin->NotifyAllocator(candidate, false);
        if (SUCCEEDED(hr)) {
            *allocator = candidate;
            return S_OK;
        }
    }
    candidate.reset();
    HRESULT hrOwn = InitAllocator(&candidate);
    if (FAILED(hrOwn))
        return hrOwn;
    hrOwn = DecideBufferSize(candidate.get(), &props);
    if (SUCCEEDED(hrOwn))
        hrOwn = pin->NotifyAllocator(candidate, false);
    if (FAILED(hrOwn))
        return hrOwn;
    *allocator = candidate;
    return S_OK;
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(SamplePtr* sample, std::uint32_t flags)
{
    if (!sample)
        return E_POINTER;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(sample, flags);
}

HRESULT CBaseOutputPin::Deliver(const SamplePtr& sample)
{
    if (!inputPin_)
        return VFW_E_NOT_CONNECTED;
    return inputPin_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    return inputPin_ ? inputPin_->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    return inputPin_ ? inputPin_->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    return inputPin_ ? inputPin_->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return inputPin_ ? inputPin_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

// ---- CBaseFilter ----

CBaseFilter::CBaseFilter(const char* objectName, void*, const CLSID& clsid)
    : objectName_(objectName)
    , clsid_(clsid)
{ }

CBasePin* CBaseFilter::FindPin(const std::string& id)
{
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
        CBasePin* pin = GetPin(i);
        std::string pinId;
        if (pin && pin->QueryId(&pinId) == S_OK && pinId == id)
            return pin;
    }
    return nullptr;
}

HRESULT CBaseFilter::Stop()
{
    std::lock_guard lock(m_csFilter);
    HRESULT result = S_OK;
    if (State() != State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result))
                    result = hr;
            }
        }
    }
    state_.store(State_Stopped, std::memory_order_release);
    return result;
}

HRESULT CBaseFilter::Pause()
{
    std::lock_guard lock(m_csFilter);
    if (State() == State_Stopped) {
        for (int i = 0, n = GetPinCount(); i < n; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    state_.store(State_Paused, std::memory_order_release);
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME)
{
    std::lock_guard lock(m_csFilter);
    if (State() == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    state_.store(State_Running, std::memory_order_release);
    return S_OK;
}

void CBaseFilter::JoinFilterGraph(CFilterGraph* graph, const std::string& name)
{
    std::lock_guard lock(m_csFilter);
    graph_ = graph;
    graphName_ = graph ? name : std::string();
}
