// The source filter of a file graph: one output pin per stream of the file,
// each offering exactly one media type. The pins carry no thread of their
// own; the playback graph's streaming threads deliver through them.
#pragma once

#include "platform/media/filter_graph.h"

#include <memory>
#include <string>
#include <vector>

class CFileSourcePin : public CBaseOutputPin {
public:
    CFileSourcePin(
        CBaseFilter* filter, HRESULT* phr, const std::string& name, const CMediaType& mt, std::int32_t bufferSize);
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    // At least two buffers of the pin's buffer size.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    CMediaType type_;
    std::int32_t bufferSize_;
};

class CFileSourceFilter : public CBaseFilter {
public:
    CFileSourceFilter();
    // A new output pin of type mt whose samples hold bufferSize bytes.
    CFileSourcePin* addPin(const std::string& name, const CMediaType& mt, std::int32_t bufferSize);
    int GetPinCount() override { return int(pins_.size()); }
    CBasePin* GetPin(int n) override;

private:
    std::vector<std::unique_ptr<CFileSourcePin>> pins_;
};
