#include "platform/media/filter_graph.h"

#include <algorithm>
#include <cstdio>

CFilterGraph::~CFilterGraph()
{
    Stop();
    std::lock_guard lock(mutex_);
    for (const FilterPtr& f : filters_) {
        for (int i = 0, n = f->GetPinCount(); i < n; ++i) {
            CBasePin* pin = f->GetPin(i);
            if (pin && pin->IsConnected())
                Disconnect(pin);
        }
        f->JoinFilterGraph(nullptr, {});
    }
    filters_.clear();
}

HRESULT CFilterGraph::AddFilter(const FilterPtr& filter, const std::string& name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    if (filter->Graph())
        return VFW_E_WRONG_STATE;
    auto taken = [this](const std::string& n) {
        return std::any_of(filters_.begin(), filters_.end(), [&](const FilterPtr& f) { return f->FilterName() == n; });
    };
    std::string unique = name;
    HRESULT result = S_OK;
    for (int i = 1; taken(unique); ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", i);
        unique = name + suffix;
        result = VFW_S_DUPLICATE_NAME;
    }
    filters_.push_back(filter);
    filter->JoinFilterGraph(this, unique);
    if (state_ != State_Stopped) {
        HRESULT hr = state_ == State_Running ? filter->Run(0) : filter->Pause();
        if (FAILED(hr))
            return hr;
    }
    return result;
}

HRESULT CFilterGraph::RemoveFilter(CBaseFilter* filter)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(filters_.begin(), filters_.end(), [&](const FilterPtr& f) { return f.get() == filter; });
    if (it == filters_.end())
        return VFW_E_NOT_FOUND;
    FilterPtr keep = *it; // alive until its pins are disconnected
    keep->Stop();
    for (int i = 0, n = keep->GetPinCount(); i < n; ++i) {
        CBasePin* pin = keep->GetPin(i);
        if (pin && pin->IsConnected())
            Disconnect(pin);
    }
    keep->JoinFilterGraph(nullptr, {});
    filters_.erase(it);
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const std::string& name, FilterPtr* filter) const
{
    if (!filter)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    for (const FilterPtr& f : filters_) {
        if (f->FilterName() == name) {
            *filter = f;
            return S_OK;
        }
    }
    filter->reset();
    return VFW_E_NOT_FOUND;
}

std::vector<FilterPtr> CFilterGraph::Filters() const
{
    std::lock_guard lock(mutex_);
    return filters_;
}

HRESULT CFilterGraph::ConnectDirect(CBasePin* out, CBasePin* in, const CMediaType* mt)
{
    if (!out || !in)
        return E_POINTER;
    if (out->Direction() != PINDIR_OUTPUT || in->Direction() != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    std::lock_guard lock(mutex_);
    return out->Connect(in, mt);
}

HRESULT CFilterGraph::Disconnect(CBasePin* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    CBasePin* peer = pin->GetConnected();
    if (!peer)
        return S_FALSE;
    pin->Disconnect();
    peer->Disconnect();
    return S_OK;
}

HRESULT CFilterGraph::Pause()
{
    std::lock_guard lock(mutex_);
    HRESULT result = S_OK;
    for (const FilterPtr& f : filters_) {
        HRESULT hr = f->Pause();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    state_ = State_Paused;
    return result;
}

HRESULT CFilterGraph::Run(REFERENCE_TIME start)
{
    std::lock_guard lock(mutex_);
    HRESULT result = S_OK;
    for (const FilterPtr& f : filters_) {
        HRESULT hr = f->Run(start);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    state_ = State_Running;
    return result;
}

HRESULT CFilterGraph::Stop()
{
    std::lock_guard lock(mutex_);
    HRESULT result = S_OK;
    for (const FilterPtr& f : filters_) {
        HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    state_ = State_Stopped;
    return result;
}
