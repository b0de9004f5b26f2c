// Filters and pins of the streaming graph.
//
// A filter owns its pins; filters are held in std::shared_ptr by whoever
// built them and by the graph they were added to. Pins point at their peer
// with a plain pointer while connected; destroying a pin clears its peer's
// pointer, so a filter may go away before the one it was connected to.
//
// Connection: the output pin starts it (CBaseOutputPin::Connect). Candidate
// types are the given type if it is fully specified, else the types the
// input pin and then the output pin offer (GetMediaType 0, 1, ...) that match
// the given partial type. For each candidate the output pin checks it
// (CheckMediaType), the input pin accepts it (ReceiveConnection: CheckConnect,
// CheckMediaType, SetMediaType, CompleteConnect), then the output pin
// completes (CompleteConnect, which negotiates the allocator through
// DecideAllocator and DecideBufferSize).
//
// Streaming: a producer takes an empty sample from its output pin
// (GetDeliveryBuffer), fills it and calls Deliver, which runs the connected
// input pin's Receive on the caller's thread. Samples are accepted only while
// the receiving filter is paused or running; pausing a filter commits the
// allocators of its connected output pins.
#pragma once

#include "platform/hresult.h"
#include "platform/media/media_errors.h"
#include "platform/media/media_sample.h"
#include "platform/media/media_types.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class CBaseFilter;
class CBaseInputPin;
class CFilterGraph;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

class CBasePin {
public:
    // objectName is a debugging name; name is the pin's name, which is also
    // its identifier unless QueryId is overridden. phr is left as it is.
    CBasePin(const char* objectName, CBaseFilter* filter, HRESULT* phr, const std::string& name, PIN_DIRECTION dir);
    virtual ~CBasePin();
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    const std::string& Name() const { return name_; }
    const char* ObjectName() const { return objectName_; }
    PIN_DIRECTION Direction() const { return direction_; }
    CBaseFilter* Filter() const { return filter_; }

    virtual HRESULT QueryId(std::string* id);
    // Which pins of the filter this pin's data goes to: not implemented.
    virtual HRESULT QueryInternalConnections(CBasePin** pins, int* count);

    bool IsConnected() const { return connected_ != nullptr; }
    CBasePin* GetConnected() const { return connected_; }
    // The connection's type, VFW_E_NOT_CONNECTED when not connected.
    HRESULT ConnectionMediaType(CMediaType* mt) const;
    const CMediaType& CurrentMediaType() const { return m_mt; }

    // Started by an output pin (see the file comment); mt may be null or partial.
    virtual HRESULT Connect(CBasePin* receivePin, const CMediaType* mt);
    // The input side of Connect.
    virtual HRESULT ReceiveConnection(CBasePin* connector, const CMediaType& mt);
    // Breaks this side of the connection; S_FALSE when not connected.
    virtual HRESULT Disconnect();

    // Overridable negotiation steps.
    virtual HRESULT CheckMediaType(const CMediaType& mt) = 0;
    // Preferred types: S_OK with *mt, VFW_S_NO_MORE_ITEMS past the last one.
    virtual HRESULT GetMediaType(int position, CMediaType* mt);
    virtual HRESULT SetMediaType(const CMediaType& mt);
    virtual HRESULT CheckConnect(CBasePin* pin);
    virtual HRESULT CompleteConnect(CBasePin* receivePin);
    virtual HRESULT BreakConnect();

    // Called when the filter leaves and enters the stopped state.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }

protected:
    CMediaType m_mt;

private:
    HRESULT AttemptConnection(CBasePin* receivePin, const CMediaType& mt);
    HRESULT TryTypesOf(CBasePin* source, CBasePin* receivePin, const CMediaType* partial);
    void ClearConnection();

    const char* objectName_;
    CBaseFilter* filter_;
    std::string name_;
    PIN_DIRECTION direction_;
    CBasePin* connected_ = nullptr;
};

class CBaseInputPin : public CBasePin {
public:
    CBaseInputPin(const char* objectName, CBaseFilter* filter, HRESULT* phr, const std::string& name);

    // The allocator this pin uses; a memory allocator is made when none was
    // negotiated yet.
    virtual HRESULT GetAllocator(AllocatorPtr* allocator);
    // The upstream output pin tells which allocator it will fill.
    virtual HRESULT NotifyAllocator(const AllocatorPtr& allocator, bool readOnly);
    // E_NOTIMPL: no requirements.
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props);

    // One sample. The base checks the state: S_FALSE while flushing,
    // VFW_E_WRONG_STATE while the filter is stopped, else S_OK.
    virtual HRESULT Receive(const SamplePtr& sample);
    virtual HRESULT EndOfStream() { return S_OK; }
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT CheckConnect(CBasePin* pin) override;
    HRESULT BreakConnect() override;

    bool IsFlushing() const { return flushing_.load(std::memory_order_relaxed); }
    bool IsReadOnly() const { return readOnly_; }

protected:
    AllocatorPtr m_pAllocator;

private:
    std::atomic<bool> flushing_ { false };
    bool readOnly_ = false;
};

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char* objectName, CBaseFilter* filter, HRESULT* phr, const std::string& name);

    // Sets the allocator's properties for this connection.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Tries the input pin's allocator, then one of our own (InitAllocator);
    // each with DecideBufferSize and NotifyAllocator.
    virtual HRESULT DecideAllocator(CBaseInputPin* pin, AllocatorPtr* allocator);
    virtual HRESULT InitAllocator(AllocatorPtr* allocator);

    // An empty sample from the negotiated allocator (it must be committed).
    HRESULT GetDeliveryBuffer(SamplePtr* sample, std::uint32_t flags = 0);
    // The connected input pin's Receive; VFW_E_NOT_CONNECTED when unconnected.
    HRESULT Deliver(const SamplePtr& sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    CBaseInputPin* ConnectedInput() const { return inputPin_; }
    const AllocatorPtr& Allocator() const { return m_pAllocator; }

    HRESULT CheckConnect(CBasePin* pin) override;
    HRESULT CompleteConnect(CBasePin* receivePin) override;
    HRESULT BreakConnect() override;
    // Commit and decommit the negotiated allocator.
    HRESULT Active() override;
    HRESULT Inactive() override;

protected:
    AllocatorPtr m_pAllocator;

private:
    CBaseInputPin* inputPin_ = nullptr;
};

class CBaseFilter : public std::enable_shared_from_this<CBaseFilter> {
public:
    // objectName is a debugging name (may be null); outer is accepted for
    // aggregation-style callers and ignored.
    CBaseFilter(const char* objectName, void* outer, const CLSID& clsid);
    virtual ~CBaseFilter() = default;
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;

    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;
    // The pin whose QueryId answers id, or null.
    CBasePin* FindPin(const std::string& id);

    // State changes: leaving Stopped activates the connected pins (their
    // allocators are committed), entering Stopped deactivates them.
    virtual HRESULT Stop();
    virtual HRESULT Pause();
    virtual HRESULT Run(REFERENCE_TIME start);
    FILTER_STATE State() const { return state_.load(std::memory_order_acquire); }
    bool IsStopped() const { return State() == State_Stopped; }
    bool IsActive() const { return State() != State_Stopped; }

    CLSID GetClassID() const { return clsid_; }
    const char* ObjectName() const { return objectName_; }

    // Set by the graph when the filter is added (graph and name) and removed (null).
    void JoinFilterGraph(CFilterGraph* graph, const std::string& name);
    CFilterGraph* Graph() const { return graph_; }
    const std::string& FilterName() const { return graphName_; }

    std::recursive_mutex* pStateLock() { return &m_csFilter; }

protected:
    std::recursive_mutex m_csFilter;
    std::atomic<FILTER_STATE> state_ { State_Stopped };

private:
    const char* objectName_;
    CLSID clsid_;
    CFilterGraph* graph_ = nullptr;
    std::string graphName_;
};

using FilterPtr = std::shared_ptr<CBaseFilter>;
