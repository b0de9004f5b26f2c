// A graph: the named filters of one stream setup, their connections and a
// common state. Filters are held by shared pointer for as long as they are
// in the graph.
#pragma once

#include "platform/media/media_filter.h"

#include <mutex>
#include <string>
#include <vector>

// AddFilter: the name was taken, the filter got "name 0001" (or the next free number).
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = static_cast<HRESULT>(0x0004022Du);

// Graph events: what renderers and failing filters report to a graph's
// owner (playback end, a user's stop, an error).
inline constexpr long EC_COMPLETE = 0x01;
inline constexpr long EC_USERABORT = 0x02;
inline constexpr long EC_ERRORABORT = 0x03;

class CFilterGraph {
public:
    CFilterGraph() = default;
    // Stops every filter, breaks every connection and drops the filters.
    virtual ~CFilterGraph();
    CFilterGraph(const CFilterGraph&) = delete;
    CFilterGraph& operator=(const CFilterGraph&) = delete;

    // E_POINTER for null; VFW_E_WRONG_STATE when the filter is in another
    // graph; a taken name is numbered (VFW_S_DUPLICATE_NAME).
    HRESULT AddFilter(const FilterPtr& filter, const std::string& name);
    // Breaks the filter's connections first; VFW_E_NOT_FOUND when absent.
    HRESULT RemoveFilter(CBaseFilter* filter);
    HRESULT FindFilterByName(const std::string& name, FilterPtr* filter) const;
    std::vector<FilterPtr> Filters() const;

    // Connects an output pin to an input pin with an optional (partial) type.
    HRESULT ConnectDirect(CBasePin* out, CBasePin* in, const CMediaType* mt = nullptr);
    HRESULT Connect(CBasePin* out, CBasePin* in) { return ConnectDirect(out, in, nullptr); }
    // Breaks the connection of pin on both sides.
    HRESULT Disconnect(CBasePin* pin);

    // Every filter changes state; the first failure is returned.
    virtual HRESULT Pause();
    virtual HRESULT Run(REFERENCE_TIME start = 0);
    virtual HRESULT Stop();
    FILTER_STATE State() const { return state_; }

private:
    mutable std::recursive_mutex mutex_;
    std::vector<FilterPtr> filters_;
    FILTER_STATE state_ = State_Stopped;
};
