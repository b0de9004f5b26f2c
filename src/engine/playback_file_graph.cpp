#include "engine/playback_file_graph.h"

#include "engine/media_source.h"
#include "engine/playback_file_feeds.h"
#include "engine/playback_file_source.h"
#include "engine/playback_parts.h"
#include "engine/playback_streaming.h"
#include "engine/video_renderer.h"
#include "platform/media/simple_filters.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>

namespace {
constexpr double kUnitsPerSecond = 10000000.0;
// Sound is handed to the output in pieces of a tenth of a second.
constexpr int kSoundChunksPerSecond = 10;

HRESULT AddVideo(const std::shared_ptr<CMediaSource>& source, CFileSourceFilter& filter, PlaybackGraphParts& parts)
{
    const int index = source->videoStream();
    const AVStream* st = source->stream(index);
    const int width = std::max(st->codecpar->width & ~1, 2);
    const int height = std::max(st->codecpar->height & ~1, 2);
    const double fps = source->videoFrameRate();
    CPlaybackStreaming& streaming = *parts.streaming;
    CMediaType mt = MakeRgbVideoType(width, height, 24, REFERENCE_TIME(std::llround(kUnitsPerSecond / fps)));
    if (VIDEOINFOHEADER* vih = mt.VideoInfo())
        vih->dwBitRate = std::uint32_t(std::max<std::int64_t>(0, st->codecpar->bit_rate));
    CFileSourcePin* pin = filter.addPin("Video", mt, std::int32_t(mt.GetSampleSize()));
    // The feed reads the source from now on.
    auto feed = std::make_unique<CFileVideoFeed>(source, index, width, height, fps, streaming.duration);
    feed->pin = pin;
    feed->sampleSize = std::int32_t(mt.GetSampleSize());

    parts.videoSlot = std::make_shared<CFrameSlot>();
    auto renderer = std::make_shared<CVideoRendererFilter>(parts.videoSlot);
    HRESULT hr = S_OK;
    if (FAILED(hr = parts.graph->AddFilter(renderer, "Video Renderer"))
        || FAILED(hr = parts.graph->Connect(pin, renderer->InputPin())))
        return hr;
    streaming.renderer = renderer;
    streaming.slot = parts.videoSlot;
    streaming.video = std::move(feed);
    return S_OK;
}

HRESULT AddAudio(const CMediaSource& source, CFileSourceFilter& filter, PlaybackGraphParts& parts)
{
    const AVStream* st = source.stream(source.audioStream());
    const int rate = std::clamp(st->codecpar->sample_rate, 8000, 192000);
    const int channels = std::min(2, st->codecpar->ch_layout.nb_channels);
    CPlaybackStreaming* streaming = parts.streaming.get();
    CMediaType mt = MakePcmAudioType(channels, rate, 16);
    const std::int32_t chunk = std::max(1, rate / kSoundChunksPerSecond) * channels * 2;
    CFileSourcePin* pin = filter.addPin("Audio", mt, chunk);
    auto feed = std::make_unique<CFileAudioFeed>(source.path(), rate, channels, streaming->duration);
    feed->pin = pin;
    auto sink = std::make_shared<CSampleSinkFilter>(CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
        [streaming](const SamplePtr& sample) { return streaming->playSound(sample); });
    HRESULT hr = S_OK;
    if (FAILED(hr = parts.graph->AddFilter(sink, "Audio Renderer"))
        || FAILED(hr = parts.graph->Connect(pin, sink->InputPin())))
        return hr;
    streaming->soundSink = sink;
    streaming->audio = std::move(feed);
    parts.hasAudio = true;
    return S_OK;
}
} // namespace

HRESULT BuildFileGraph(const QString& path, long volume, PlaybackGraphParts* parts)
{
    std::shared_ptr<CMediaSource> source = CMediaSource::Open(path);
    if (!source || (source->videoStream() < 0 && source->audioStream() < 0))
        return E_FAIL;
    const REFERENCE_TIME duration = source->duration();
    if (duration <= 0)
        return E_FAIL;

    parts->streaming = std::make_unique<CPlaybackStreaming>();
    parts->streaming->duration = duration;
    parts->graph = std::make_shared<CFilterGraph>();
    auto filter = std::make_shared<CFileSourceFilter>();
    HRESULT hr = parts->graph->AddFilter(filter, "File Source");
    if (FAILED(hr))
        return hr;
    if (source->videoStream() >= 0 && FAILED(hr = AddVideo(source, *filter, *parts)))
        return hr;
    // The sound feed opens the file for itself (the picture feed reads this source).
    if (source->audioStream() >= 0 && FAILED(hr = AddAudio(*source, *filter, *parts)))
        return hr;
    source.reset();

    parts->streaming->scheduleRenderer();
    parts->streaming->openSoundOutput(volume);
    // The graph stays cued (paused) while it is open; the streaming threads
    // start and stop with the transport.
    return parts->graph->Pause();
}
