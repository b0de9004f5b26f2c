// Two small filters for the ends of a chain.
//
// CPushSourceFilter: one output pin with a fixed media type; its owner pushes
// frames or samples into the chain from its own thread (a decoder, a render
// engine's group output, a test).
//
// CSampleSinkFilter: one input pin that accepts every type matching a
// partial type (GUID_NULL fields are wildcards) and hands each sample to a
// callback on the delivering thread (a sample grabber, a renderer, a test).
#pragma once

#include "platform/media/media_filter.h"

#include <functional>
#include <memory>
#include <string>

class CPushSourceFilter;

class CPushSourcePin : public CBaseOutputPin {
public:
    CPushSourcePin(CPushSourceFilter* filter, HRESULT* phr, const std::string& name);

    // Only the filter's type (S_FALSE for others).
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    // The filter's buffer request (count, size; alignment 1); E_FAIL when the
    // allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    CPushSourceFilter* source_;
};

class CPushSourceFilter : public CBaseFilter {
public:
    // buffers and bufferSize of the allocator; a bufferSize of 0 means the
    // type's sample size.
    explicit CPushSourceFilter(const CMediaType& mt, std::int32_t buffers = 1, std::int32_t bufferSize = 0,
        const std::string& pinName = "Output");

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    CPushSourcePin* OutputPin() { return &pin_; }
    const CMediaType& MediaType() const { return mt_; }
    std::int32_t Buffers() const { return buffers_; }
    std::int32_t BufferSize() const { return bufferSize_ > 0 ? bufferSize_ : std::int32_t(mt_.GetSampleSize()); }

    // Takes an empty sample (waiting for a free buffer), copies length bytes
    // of data into it, sets the actual length, the times (when start is given)
    // and the sync point, and delivers it. E_INVALIDARG when length is larger
    // than a buffer; the downstream Receive result otherwise.
    HRESULT DeliverFrame(const void* data, std::int32_t length, const REFERENCE_TIME* start = nullptr,
        const REFERENCE_TIME* stop = nullptr, bool syncPoint = true);
    // Delivers a sample the caller filled (from OutputPin()->GetDeliveryBuffer).
    HRESULT Deliver(const SamplePtr& sample) { return pin_.Deliver(sample); }
    HRESULT DeliverEndOfStream() { return pin_.DeliverEndOfStream(); }

private:
    CMediaType mt_;
    std::int32_t buffers_;
    std::int32_t bufferSize_;
    CPushSourcePin pin_;
};

class CSampleSinkFilter;

class CSampleSinkPin : public CBaseInputPin {
public:
    CSampleSinkPin(CSampleSinkFilter* filter, HRESULT* phr, const std::string& name);
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT Receive(const SamplePtr& sample) override;
    HRESULT EndOfStream() override;

private:
    CSampleSinkFilter* sink_;
};

class CSampleSinkFilter : public CBaseFilter {
public:
    using SampleCallback = std::function<HRESULT(const SamplePtr&)>;

    CSampleSinkFilter(const CMediaType& accepted, SampleCallback onSample, const std::string& pinName = "Input");

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    CSampleSinkPin* InputPin() { return &pin_; }
    const CMediaType& AcceptedType() const { return accepted_; }
    // Called on end of stream (on the delivering thread).
    void SetEndOfStreamCallback(std::function<void()> onEnd) { onEnd_ = std::move(onEnd); }

private:
    friend class CSampleSinkPin;
    CMediaType accepted_;
    SampleCallback onSample_;
    std::function<void()> onEnd_;
    CSampleSinkPin pin_;
};
