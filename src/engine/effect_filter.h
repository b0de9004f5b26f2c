// The effect filter: one video input ("In"), one video output ("Out"). Every
// uncompressed RGB frame is copied from the input sample to the output
// sample together with the sample's properties, and the current colour
// effect (CurrentEffectId, read at each frame) is applied to the copy. The
// output type is always the input type. Built only by the graph builders,
// never registered, so its class identifier is GUID_NULL.
#pragma once

#include "platform/media/transform_filter.h"

#include <memory>

class CCopyTransformInputPin : public CTransformInputPin {
public:
    CCopyTransformInputPin(CTransformFilter* filter, HRESULT* phr);
    ~CCopyTransformInputPin() override;
    HRESULT QueryId(std::string* id) override; // "In"
};

class CCopyTransformOutputPin : public CTransformOutputPin {
public:
    CCopyTransformOutputPin(CTransformFilter* filter, HRESULT* phr);
    ~CCopyTransformOutputPin() override;
    HRESULT QueryId(std::string* id) override; // "Out"
};

class CCopyTransformFilter : public CTransformFilter {
public:
    // outer is ignored; *phr receives E_OUTOFMEMORY when a pin cannot be made
    // and is left alone otherwise.
    CCopyTransformFilter(void* outer, HRESULT* phr);
    ~CCopyTransformFilter() override;

    // A new filter, or null with the failure in *phr (when phr is given).
    static std::shared_ptr<CCopyTransformFilter> Create(HRESULT* phr = nullptr);

    // Copies the properties and the whole frame (row padding included), then
    // applies the current effect to the copy. The input is never modified.
    HRESULT Transform(CMediaSample* in, CMediaSample* out) override;
    // Video with subtype RGB24, RGB32, RGB565, RGB555 or RGB8 (else E_FAIL)
    // and a VIDEOINFOHEADER format block (else E_INVALIDARG).
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    // S_OK only for identical types.
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    // The input side's buffer count and size (at least 1 buffer; the type's
    // sample size when the size is unknown); E_FAIL when the allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Position 0: the input pin's type.
    HRESULT GetMediaType(int position, CMediaType* mt) override;
};
