// The front end the render engine puts into its graph: one filter with one
// output pin per timeline group. While the graph runs, every connected pin
// has a streaming thread that composes its group's frames or sound and
// delivers them downstream; unconnected pins do nothing. Sound is held back
// so that it runs at most one second ahead of the pictures, which keeps a
// downstream multiplexer's interleaving tight and its buffers small. With
// the graph's clock (the default) samples leave in real time from Run on,
// and pausing holds them; without it they leave as fast as they are taken.
#pragma once

#include "engine/render_engine.h"

#include <chrono>
#include <thread>

class CRenderFrontEnd;

class CRenderGroupPin : public CBaseOutputPin {
public:
    CRenderGroupPin(CRenderFrontEnd* filter, HRESULT* phr, int groupIndex, std::shared_ptr<const CTimelineGroup> group,
        REFERENCE_TIME duration);

    // Offers exactly the group's media type.
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    CGroupRenderer& renderer() { return renderer_; }
    int groupIndex() const { return renderer_.groupIndex(); }

private:
    friend class CRenderFrontEnd;
    void stream();
    HRESULT streamVideo();
    // Stamps the sample's times and length, waits for the clock, and
    // delivers it: S_OK, S_FALSE when the graph is stopping, or the failure.
    HRESULT deliverAt(const SamplePtr& sample, REFERENCE_TIME start, REFERENCE_TIME stop, std::int64_t mediaStart,
        std::int64_t mediaStop, std::int32_t bytes);
    HRESULT streamAudio();

    CRenderFrontEnd* frontEnd_;
    std::shared_ptr<const CTimelineGroup> group_;
    CGroupRenderer renderer_;
    std::thread thread_;
    std::atomic<REFERENCE_TIME> position_ { 0 };
    std::atomic<bool> done_ { false };
};

class CRenderFrontEnd : public CBaseFilter {
public:
    CRenderFrontEnd(CRenderGraph* graph, const CTimeline& timeline);
    ~CRenderFrontEnd() override;

    int GetPinCount() override { return int(pins_.size()); }
    CBasePin* GetPin(int n) override;
    CRenderGroupPin* groupPin(int group) const;

    // Run starts the streaming threads; Stop ends and joins them.
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT Pause() override;
    HRESULT Stop() override;

    REFERENCE_TIME duration() const { return duration_; }
    bool anyConnected() const;
    // The least position reached by the streaming pins.
    REFERENCE_TIME position() const;

private:
    friend class CRenderGroupPin;
    bool stopping() const { return stop_.load(std::memory_order_acquire); }
    // Blocks a sound pin while it is more than the lead ahead of a picture pin.
    void waitForPeers(const CRenderGroupPin* pin);
    // With a clock: blocks until the stream time t is due, and while paused.
    void waitForClock(REFERENCE_TIME t);
    void pinAdvanced();
    void joinThreads();

    CRenderGraph* graph_;
    REFERENCE_TIME duration_;
    std::vector<std::unique_ptr<CRenderGroupPin>> pins_;
    std::atomic<bool> stop_ { false };
    std::mutex paceMutex_;
    std::condition_variable paced_;
    // Stream time 0 on the steady clock, moved on by every pause.
    std::chrono::steady_clock::time_point clockStart_;
    std::chrono::steady_clock::time_point pausedAt_;
    bool paused_ = false;
};
