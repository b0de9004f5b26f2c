// The transform-filter base: one input pin, one output pin, and a Transform
// step from an input sample to an output sample of the output pin's
// allocator. A derived filter overrides the negotiation steps
// (CheckInputType, CheckTransform, DecideBufferSize, GetMediaType) and
// Transform; it may create its own pins in its constructor, else the base
// makes pins named "XForm In" and "XForm Out" on first use.
//
// Receive (on the upstream streaming thread): take an empty output sample,
// Transform, and deliver the result unless Transform answered S_FALSE (the
// sample is dropped). The output sample carries no properties until
// Transform sets them.
#pragma once

#include "platform/media/media_filter.h"

#include <memory>

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr, const std::string& name);

    // CheckInputType, and CheckTransform against the output's type when the
    // output is connected.
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT SetMediaType(const CMediaType& mt) override;
    HRESULT CheckConnect(CBasePin* pin) override;
    HRESULT CompleteConnect(CBasePin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Receive(const SamplePtr& sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr, const std::string& name);

    // E_UNEXPECTED until the input is connected; then CheckTransform.
    HRESULT CheckMediaType(const CMediaType& mt) override;
    // E_UNEXPECTED until the input is connected; then the filter's GetMediaType.
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType& mt) override;
    HRESULT CheckConnect(CBasePin* pin) override;
    HRESULT CompleteConnect(CBasePin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const char* objectName, void* outer, const CLSID& clsid);
    ~CTransformFilter() override;

    int GetPinCount() override { return 2; }
    // 0: input, 1: output.
    CBasePin* GetPin(int n) override;
    CTransformInputPin* InputPin();
    CTransformOutputPin* OutputPin();

    // The overridable steps.
    virtual HRESULT Transform(CMediaSample* in, CMediaSample* out);
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;

    // Hooks with neutral defaults.
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, CBasePin*) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, CBasePin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }

    // Streaming, called by the input pin.
    virtual HRESULT Receive(const SamplePtr& sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT Stop() override;
    HRESULT Pause() override;

protected:
    // An empty sample from the output pin's allocator.
    virtual HRESULT InitializeOutputSample(CMediaSample* in, SamplePtr* out);

    std::unique_ptr<CTransformInputPin> m_pInput;
    std::unique_ptr<CTransformOutputPin> m_pOutput;
};
