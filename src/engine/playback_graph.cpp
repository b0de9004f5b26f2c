#include "engine/playback_graph.h"

#include "engine/media_detector.h"
#include "engine/playback_file_graph.h"
#include "engine/playback_parts.h"
#include "engine/playback_streaming.h"
#include "engine/playback_timeline_graph.h"
#include "engine/video_renderer.h"
#include "platform/audio_output.h"
#include "platform/running_objects.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {
constexpr double kUnitsPerSecond = 10000000.0;

std::atomic<std::uint32_t> g_rotRegistration { 0 };
} // namespace

CGraphBasic::CGraphBasic() = default;

CGraphBasic::~CGraphBasic()
{
    CloseGraph();
}

std::uint32_t CGraphBasic::RotRegistration()
{
    return g_rotRegistration.load(std::memory_order_relaxed);
}

void CGraphBasic::clearAudioFacts()
{
    audioLength_ = 0;
    audioBitRate_ = 0;
    audioSampleRate_ = 0;
}

HRESULT CGraphBasic::OpenFile(const QString& path)
{
    clearAudioFacts();
    if (state_ != Closed)
        return E_FAIL;
    openMessage_.clear();
    path_ = path.left(259);
    auto parts = std::make_unique<PlaybackGraphParts>();
    if (FAILED(BuildFileGraph(path_, volume_, parts.get()))) {
        parts.reset();
        teardown();
        return E_FAIL;
    }
    parts_ = std::move(parts);
    duration_ = parts_->streaming->duration;
    readVideoFacts();
    audioOnly_ = !parts_->videoSlot;
    state_ = Open;
    parts_->streaming->showFrameAt(0);
    if (FAILED(readDetectorFacts(path_)))
        return E_FAIL;
    return S_OK;
}

void CGraphBasic::readVideoFacts()
{
    videoWidth_ = videoHeight_ = 0;
    avgTimePerFrame_ = 0;
    bitErrorRate_ = bitRate_ = 0;
    if (!parts_ || !parts_->streaming || !parts_->streaming->renderer)
        return;
    CMediaType mt;
    if (FAILED(parts_->streaming->renderer->InputPin()->ConnectionMediaType(&mt)) || !mt.VideoInfo())
        return;
    const VIDEOINFOHEADER* vih = mt.VideoInfo();
    videoWidth_ = vih->bmiHeader.biWidth;
    videoHeight_ = std::abs(vih->bmiHeader.biHeight);
    avgTimePerFrame_ = double(vih->AvgTimePerFrame) / kUnitsPerSecond;
    bitErrorRate_ = std::int32_t(vih->dwBitErrorRate);
    bitRate_ = std::int32_t(vih->dwBitRate);
}

HRESULT CGraphBasic::readDetectorFacts(const QString& path)
{
    streamLength_ = frameRate_ = 0;
    videoOnly_ = false;
    auto fail = [this](const char* text) {
        openMessage_ = QString::fromLatin1(text);
        return E_FAIL;
    };
    CMediaDet detector;
    if (FAILED(detector.put_Filename(path)))
        return fail("Failed pMD->put_Filename");
    std::int32_t streams = 0;
    if (FAILED(detector.get_OutputStreams(&streams)))
        return fail("Failed pMD->get_OutputStreams");
    for (std::int32_t i = 0; i < streams; ++i) {
        if (FAILED(detector.put_CurrentStream(i)))
            continue;
        CMediaType mt;
        if (FAILED(detector.get_StreamMediaType(&mt)))
            continue;
        if (mt.majortype == MEDIATYPE_Video) {
            double fps = 0, length = 0;
            if (FAILED(detector.get_FrameRate(&fps)))
                fps = 1e-9;
            if (FAILED(detector.get_StreamLength(&length)))
                length = 1e-9;
            frameRate_ = std::int32_t(fps);
            streamLength_ = std::int32_t(length);
            if (streams == 1)
                videoOnly_ = true;
        } else if (mt.majortype == MEDIATYPE_Audio && mt.formattype == FORMAT_WaveFormatEx) {
            if (const WAVEFORMATEX* wfx = mt.WaveFormat()) {
                audioBitRate_ = std::int32_t(std::int64_t(wfx->nAvgBytesPerSec) * 8 / 1000);
                audioSampleRate_ = std::int32_t(wfx->nSamplesPerSec / 1000);
            }
            double length = 0;
            if (FAILED(detector.get_StreamLength(&length)))
                length = 0;
            audioLength_ = std::int16_t(length);
            videoOnly_ = false;
        }
    }
    return S_OK;
}

HRESULT CGraphBasic::OpenTimeline(std::shared_ptr<CTimeline> timeline)
{
    if (state_ != Closed)
        return E_FAIL;
    auto parts = std::make_unique<PlaybackGraphParts>();
    const HRESULT hr = BuildTimelineGraph(std::move(timeline), volume_, parts.get());
    if (FAILED(hr)) {
        parts.reset();
        teardown();
        return hr;
    }
    parts_ = std::move(parts);
    readVideoFacts();
    audioOnly_ = !parts_->videoSlot;
    state_ = Open;
    duration_ = parts_->streaming->duration;
    parts_->streaming->showFrameAt(0);

    std::uint32_t registration = 0;
    if (FAILED(AddGraphToRot(parts_->graph.get(), &registration)))
        registration = 0;
    g_rotRegistration.store(registration, std::memory_order_relaxed);
    return S_OK;
}

void CGraphBasic::teardown()
{
    parts_.reset();
    audioOnly_ = false;
    path_.clear();
    duration_ = 0;
    state_ = Closed;
}

HRESULT CGraphBasic::CloseGraph()
{
    if (state_ == Closed || !parts_)
        return E_FAIL;
    teardown();
    if (const std::uint32_t registration = g_rotRegistration.exchange(0, std::memory_order_relaxed))
        RemoveGraphFromRot(registration);
    return S_OK;
}

HRESULT CGraphBasic::Play()
{
    if (state_ == Closed || !parts_)
        return E_FAIL;
    if (state_ == Running)
        return S_OK;
    REFERENCE_TIME from = 0;
    GetCurrentPosition(&from);
    if (from >= duration_)
        from = 0;
    parts_->streaming->start(from);
    state_ = Running;
    return S_OK;
}

HRESULT CGraphBasic::Pause()
{
    if (state_ == Closed || !parts_)
        return E_FAIL;
    if (parts_->streaming->isRunning())
        pausedAt_ = parts_->streaming->halt();
    state_ = Paused;
    return S_OK;
}

HRESULT CGraphBasic::Stop()
{
    if (state_ == Closed || !parts_)
        return E_FAIL;
    parts_->streaming->halt();
    pausedAt_ = 0;
    parts_->streaming->showFrameAt(0);
    state_ = Stopped;
    return S_OK;
}

HRESULT CGraphBasic::SetCurrentPosition(REFERENCE_TIME position)
{
    const HRESULT hr = MovePosition(position);
    if (SUCCEEDED(hr) && !parts_->streaming->isRunning())
        parts_->streaming->showFrameAt(position);
    return hr;
}

HRESULT CGraphBasic::MovePosition(REFERENCE_TIME position)
{
    if (state_ == Closed || !parts_ || position < 0 || position > duration_)
        return E_FAIL;
    if (parts_->streaming->isRunning())
        parts_->streaming->start(position);
    else
        pausedAt_ = position;
    return S_OK;
}

HRESULT CGraphBasic::GetCurrentPosition(REFERENCE_TIME* position) const
{
    if (!position)
        return E_POINTER;
    if (state_ == Closed || !parts_)
        return E_FAIL;
    CPlaybackStreaming& streaming = *parts_->streaming;
    *position = streaming.isRunning() ? std::clamp<REFERENCE_TIME>(streaming.clock(), 0, duration_) : pausedAt_;
    return S_OK;
}

HRESULT CGraphBasic::GetState(int, FILTER_STATE* state) const
{
    if (!state)
        return E_POINTER;
    if (state_ == Closed)
        return E_FAIL;
    *state = state_ == Running ? State_Running : state_ == Paused ? State_Paused : State_Stopped;
    return S_OK;
}

HRESULT CGraphBasic::SetNotifyWindow(QObject* window, std::uint32_t message)
{
    if (!parts_)
        return E_FAIL;
    parts_->streaming->setNotify(window, message);
    return S_OK;
}

HRESULT CGraphBasic::GetEvent(long* code, long* param1, long* param2, int timeoutMs)
{
    if (!code)
        return E_POINTER;
    if (param1)
        *param1 = 0;
    if (param2)
        *param2 = 0;
    if (!parts_)
        return E_FAIL;
    return parts_->streaming->getEvent(code, timeoutMs);
}

bool CGraphBasic::HasMediaEvent() const
{
    return parts_ && parts_->graph;
}

const std::shared_ptr<CFrameSlot>& CGraphBasic::VideoSlot() const
{
    static const std::shared_ptr<CFrameSlot> none;
    return parts_ ? parts_->videoSlot : none;
}

CFilterGraph* CGraphBasic::FilterGraph() const
{
    return parts_ ? parts_->graph.get() : nullptr;
}

HRESULT CGraphBasic::PutVolume(long volume)
{
    if (!parts_ || !parts_->hasAudio)
        return E_NOINTERFACE;
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    volume_ = volume;
    if (parts_->streaming->output)
        parts_->streaming->output->SetVolume(VolumeToGain(volume));
    return S_OK;
}

HRESULT CGraphBasic::GetVolume(long* volume) const
{
    if (!volume)
        return E_POINTER;
    if (!parts_ || !parts_->hasAudio)
        return E_NOINTERFACE;
    *volume = volume_;
    return S_OK;
}

std::int64_t CGraphBasic::FramesPresented() const
{
    return parts_ && parts_->streaming->slot ? parts_->streaming->slot->PresentedCount() : 0;
}

bool CGraphBasic::SoundClockActive() const
{
    return parts_ && parts_->streaming->soundClockActive();
}

std::int64_t CGraphBasic::StreamingCpuNs() const
{
    return parts_ ? parts_->streaming->cpuNs.load(std::memory_order_relaxed) : 0;
}

std::int64_t CGraphBasic::FramesSkipped() const
{
    return parts_ ? parts_->streaming->framesSkipped.load(std::memory_order_relaxed) : 0;
}

CAudioOutput* CGraphBasic::AudioOutput() const
{
    return parts_ ? parts_->streaming->output.get() : nullptr;
}
