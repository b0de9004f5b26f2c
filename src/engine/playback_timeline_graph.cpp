#include "engine/playback_timeline_graph.h"

#include "engine/effect_filter.h"
#include "engine/playback_feeds.h"
#include "engine/playback_parts.h"
#include "engine/playback_streaming.h"
#include "engine/render_engine.h"
#include "engine/render_frontend.h"
#include "engine/video_renderer.h"
#include "platform/media/simple_filters.h"

namespace {
class TimelineVideoFeed : public CPlaybackVideoFeed {
public:
    explicit TimelineVideoFeed(CGroupRenderer& r)
        : r_(r)
    { }
    std::int64_t count() const override { return r_.frameCount(); }
    REFERENCE_TIME time(std::int64_t index) const override { return r_.frameTime(index); }
    void render(std::int64_t index, std::uint8_t* dst) override { r_.RenderVideoFrame(index, dst); }

private:
    CGroupRenderer& r_;
};

class TimelineAudioFeed : public CPlaybackAudioFeed {
public:
    explicit TimelineAudioFeed(CGroupRenderer& r)
        : r_(r)
    { }
    std::int64_t count() const override { return r_.sampleCount(); }
    void render(std::int64_t first, int frames, std::int16_t* dst) override { r_.RenderAudio(first, frames, dst); }

private:
    CGroupRenderer& r_;
};

HRESULT AddVideo(CRenderGraph& graph, PlaybackGraphParts& parts)
{
    HRESULT hr = S_OK;
    auto effect = CCopyTransformFilter::Create(&hr);
    if (!effect || FAILED(hr = graph.AddFilter(effect, "Dynamic Filter")))
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    parts.videoSlot = std::make_shared<CFrameSlot>();
    auto renderer = std::make_shared<CVideoRendererFilter>(parts.videoSlot);
    if (FAILED(hr = graph.AddFilter(renderer, "Video renderer")))
        return hr;
    CBaseOutputPin* videoPin = nullptr;
    parts.engine->GetGroupOutputPin(0, &videoPin);
    if (!videoPin)
        return E_FAIL;
    if (FAILED(hr = graph.Connect(videoPin, effect->InputPin()))
        || FAILED(hr = graph.Connect(effect->OutputPin(), renderer->InputPin())))
        return hr;
    auto* groupPin = static_cast<CRenderGroupPin*>(videoPin);
    auto feed = std::make_unique<TimelineVideoFeed>(groupPin->renderer());
    feed->pin = videoPin;
    feed->sampleSize = std::int32_t(groupPin->renderer().mediaType().GetSampleSize());
    CPlaybackStreaming& streaming = *parts.streaming;
    streaming.video = std::move(feed);
    streaming.renderer = renderer;
    streaming.slot = parts.videoSlot;
    return S_OK;
}

// The first sound group goes to the audio output.
HRESULT AddAudio(CRenderGraph& graph, PlaybackGraphParts& parts)
{
    CPlaybackStreaming* streaming = parts.streaming.get();
    for (int g = 1; g < parts.engine->timeline()->GetGroupCount() && !streaming->audio; ++g) {
        CBaseOutputPin* pin = nullptr;
        parts.engine->GetGroupOutputPin(g, &pin);
        auto* soundPin = static_cast<CRenderGroupPin*>(pin);
        if (!soundPin || soundPin->renderer().isVideo())
            continue;
        auto sink = std::make_shared<CSampleSinkFilter>(CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
            [streaming](const SamplePtr& sample) { return streaming->playSound(sample); });
        HRESULT hr = S_OK;
        if (FAILED(hr = graph.AddFilter(sink, "Audio Renderer")) || FAILED(hr = graph.Connect(pin, sink->InputPin())))
            return hr;
        auto feed = std::make_unique<TimelineAudioFeed>(soundPin->renderer());
        feed->pin = pin;
        feed->rate = soundPin->renderer().audioFormat().sampleRate;
        feed->channels = soundPin->renderer().audioFormat().channels;
        streaming->audio = std::move(feed);
        streaming->soundSink = sink;
        parts.hasAudio = true;
    }
    return S_OK;
}
} // namespace

HRESULT BuildTimelineGraph(std::shared_ptr<CTimeline> timeline, long volume, PlaybackGraphParts* parts)
{
    parts->engine = std::make_unique<CRenderEngine>();
    HRESULT hr = parts->engine->SetTimelineObject(std::move(timeline));
    if (SUCCEEDED(hr))
        hr = parts->engine->ConnectFrontEnd();
    std::shared_ptr<CRenderGraph> graph;
    if (SUCCEEDED(hr))
        hr = parts->engine->GetFilterGraph(&graph);
    if (FAILED(hr))
        return hr;
    parts->graph = graph;
    parts->streaming = std::make_unique<CPlaybackStreaming>();
    parts->streaming->duration = parts->engine->duration();
    if (FAILED(hr = AddVideo(*graph, *parts)) || FAILED(hr = AddAudio(*graph, *parts)))
        return hr;
    parts->streaming->scheduleRenderer();
    parts->streaming->openSoundOutput(volume);
    return graph->Pause();
}
