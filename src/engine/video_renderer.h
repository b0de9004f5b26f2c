// The video renderer: a filter that takes uncompressed RGB frames from a
// playback graph, waits until each frame is due, and hands it to a frame
// slot, which the UI's video surface paints.
//
// The renderer runs on the graph's streaming thread and knows no widget:
// the slot keeps the frame under a lock and calls the surface's repaint
// request, which only queues a repaint on the UI thread.
#pragma once

#include "platform/media/media_filter.h"

#include <QImage>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class CFrameSlot {
public:
    // Stores the frame and calls the repaint request (if any). Any thread.
    void Present(const QImage& frame, REFERENCE_TIME time);
    // Drops the frame (the widget then paints black).
    void Clear();
    QImage Current() const;
    // Time of the frame presented last (-1 when there is none).
    REFERENCE_TIME CurrentTime() const;
    // Frames presented since construction.
    std::int64_t PresentedCount() const { return presented_.load(std::memory_order_relaxed); }

    // Called after each change of the frame, on the thread that made it;
    // it must only queue work for the UI thread. Empty detaches.
    void SetRepaintRequest(std::function<void()> request);

private:
    mutable std::mutex mutex_;
    QImage frame_;
    REFERENCE_TIME time_ = -1;
    std::function<void()> repaint_;
    std::atomic<std::int64_t> presented_ { 0 };
};

class CVideoRendererFilter;

class CVideoRendererPin : public CBaseInputPin {
public:
    CVideoRendererPin(CVideoRendererFilter* filter, HRESULT* phr);
    // Video, RGB24 or RGB32, with a VIDEOINFOHEADER.
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT Receive(const SamplePtr& sample) override;
    HRESULT EndOfStream() override;

private:
    CVideoRendererFilter* renderer_;
};

class CVideoRendererFilter : public CBaseFilter {
public:
    // Decides when a frame starting at time is shown: waits until it is due
    // and returns true, or returns false to drop it (the graph is stopping).
    using Scheduler = std::function<bool(REFERENCE_TIME time)>;

    explicit CVideoRendererFilter(std::shared_ptr<CFrameSlot> slot);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    CVideoRendererPin* InputPin() { return &pin_; }

    // Set before streaming; without one, frames are shown at once.
    void SetScheduler(Scheduler scheduler) { scheduler_ = std::move(scheduler); }
    void SetEndOfStreamCallback(std::function<void()> onEnd) { onEnd_ = std::move(onEnd); }
    const std::shared_ptr<CFrameSlot>& Slot() const { return slot_; }

private:
    friend class CVideoRendererPin;
    HRESULT Render(CMediaSample* sample);

    std::shared_ptr<CFrameSlot> slot_;
    Scheduler scheduler_;
    std::function<void()> onEnd_;
    HRESULT pinResult_ = S_OK;
    CVideoRendererPin pin_;
};

// A bottom-up or top-down RGB24 / RGB32 frame as a top-down image (a copy).
QImage FrameToImage(const std::uint8_t* data, const VIDEOINFOHEADER& vih);
