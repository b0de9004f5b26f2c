// The render engine of editing timelines: after ConnectFrontEnd it offers
// one output pin per timeline group. A video pin composes, at each output
// frame time, the topmost source that covers it, decoded at its media time and
// scaled into the group's frame (letterboxed with black bars in stretch mode
// 2), as bottom-up RGB24; black where nothing covers. A sound pin mixes every
// covering source, resampled to the group's PCM format, with saturation;
// silence where nothing covers. Sources are opened only when a pin is asked
// for data, so a pin nobody reads costs nothing.
#pragma once

#include "engine/timeline_model.h"

#include "platform/c_handles.h"
#include "platform/media/filter_graph.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CSourceVideoReader;
class CSourceAudioReader;
struct AVFrame;
struct SwsContext;

// Composes the frames or the sound of one group.
class CGroupRenderer {
public:
    CGroupRenderer(int groupIndex, std::shared_ptr<const CTimelineGroup> group, REFTIME100NS duration);
    ~CGroupRenderer();
    CGroupRenderer(const CGroupRenderer&) = delete;
    CGroupRenderer& operator=(const CGroupRenderer&) = delete;

    int groupIndex() const { return groupIndex_; }
    const CMediaType& mediaType() const { return group_->mediaType(); }
    bool isVideo() const { return group_->isVideo(); }
    REFTIME100NS duration() const { return duration_; }

    // Video pins. Frame i lies at i / fps seconds; the last frame starts
    // before the end of the timeline.
    std::int64_t frameCount() const;
    REFTIME100NS frameTime(std::int64_t index) const;
    const VideoGroupFormat& videoFormat() const { return video_; }
    // Composes frame index into dst (the group's sample size in bytes).
    // Frames are cheapest when asked for in increasing order.
    void RenderVideoFrame(std::int64_t index, std::uint8_t* dst);

    // Sound pins: sample frames of the group's format.
    std::int64_t sampleCount() const;
    const AudioGroupFormat& audioFormat() const { return audio_; }
    // Mixes count sample frames starting at sample frame first into dst
    // (count * channels 16-bit samples). Calls should move forward in time.
    void RenderAudio(std::int64_t first, int count, std::int16_t* dst);

    // How many sources were opened for decoding so far (diagnostics).
    int openedSources() const { return opened_; }

private:
    CSourceVideoReader* videoReader(const CTimelineSource& src);
    CSourceAudioReader* audioReader(const CTimelineSource& src);
    void compose(const AVFrame* frame, int stretchMode, std::uint8_t* dst);
    void releaseVideoBefore(REFTIME100NS t);
    void releaseAudioBefore(std::int64_t sample);
    std::int64_t toSamples(REFTIME100NS t) const;

    int groupIndex_;
    std::shared_ptr<const CTimelineGroup> group_;
    REFTIME100NS duration_;
    VideoGroupFormat video_;
    AudioGroupFormat audio_;
    std::map<const CTimelineSource*, std::unique_ptr<CSourceVideoReader>> videoReaders_;
    struct AudioEntry {
        std::unique_ptr<CSourceAudioReader> reader;
        std::int64_t origin = 0; // source-relative sample frame of the reader's position 0
    };
    std::map<const CTimelineSource*, AudioEntry> audioReaders_;
    FfPtr<SwsContext> sws_;
    std::vector<std::int32_t> mix_;
    std::vector<std::int16_t> chunk_;
    int opened_ = 0;
};

class CRenderFrontEnd;

// The graph the render engine builds its front end in: a filter graph with
// an event queue (renderers report completion, failing filters report
// errors), seeking information from the front end, and an optional
// reference clock. Without a clock the front end delivers as fast as the
// downstream filters take the samples.
class CRenderGraph : public CFilterGraph {
public:
    // Pauses every filter first, so that no filter receives samples before
    // it is ready, then runs them.
    HRESULT Run(REFERENCE_TIME start = 0) override;

    void NotifyEvent(long code, HRESULT param);
    // Waits up to ms milliseconds for an event: S_OK and the event's code,
    // or VFW_E_TIMEOUT with *code = 0.
    HRESULT WaitForCompletion(int ms, long* code);
    // The first event whose code was an error (EC_ERRORABORT), S_OK if none.
    HRESULT ErrorResult() const;

    // null: no clock (as fast as possible); any other value: real time.
    HRESULT SetSyncSource(const void* clock);
    bool HasClock() const { return hasClock_.load(std::memory_order_relaxed); }

    HRESULT GetDuration(REFERENCE_TIME* duration) const;
    HRESULT GetCurrentPosition(REFERENCE_TIME* position) const;

    void setFrontEnd(CRenderFrontEnd* frontEnd) { frontEnd_ = frontEnd; }

private:
    mutable std::mutex eventMutex_;
    std::condition_variable eventSignal_;
    std::deque<long> events_;
    HRESULT error_ = S_OK;
    std::atomic<bool> hasClock_ { true };
    CRenderFrontEnd* frontEnd_ = nullptr;
};

class CRenderEngine {
public:
    ~CRenderEngine();
    HRESULT SetTimelineObject(std::shared_ptr<CTimeline> timeline);
    // Builds a graph with the front end: one output pin per group. Fails
    // without a timeline, without groups, or for a group whose media type
    // cannot be rendered.
    HRESULT ConnectFrontEnd();
    HRESULT GetFilterGraph(std::shared_ptr<CRenderGraph>* graph) const;
    // The output pin of a group; S_FALSE and null when the group has none.
    HRESULT GetGroupOutputPin(int group, CBaseOutputPin** pin) const;
    // Stops and discards the graph and everything in it.
    void ScrapIt();

    std::shared_ptr<CTimeline> timeline() const { return timeline_; }
    REFTIME100NS duration() const { return timeline_ ? timeline_->duration() : 0; }

private:
    std::shared_ptr<CTimeline> timeline_;
    std::shared_ptr<CRenderGraph> graph_;
    std::shared_ptr<CRenderFrontEnd> frontEnd_;
};
