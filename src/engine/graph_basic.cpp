#include "engine/graph_basic.h"

#include "engine/effect_filter.h"
#include "engine/media_detector.h"
#include "engine/render_engine.h"
#include "engine/render_frontend.h"
#include "engine/source_reader.h"
#include "engine/video_renderer.h"
#include "platform/audio_output.h"
#include "platform/dialog_service.h"
#include "platform/media/simple_filters.h"
#include "platform/messages.h"
#include "platform/running_objects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <time.h>

namespace {
using SteadyClock = std::chrono::steady_clock;
constexpr double kUnitsPerSecond = 10000000.0;
// Sound is handed to the output in pieces of a tenth of a second.
constexpr int kSoundChunksPerSecond = 10;
// Longest single wait of a streaming thread before it looks at the clock again.
constexpr auto kClockPoll = std::chrono::milliseconds(20);

std::atomic<std::uint32_t> g_rotRegistration { 0 };

// Threads carry names so that diagnostics (and tests) can tell them apart.
void NameThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

std::int64_t ThreadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// One picture stream of the graph, rendered frame by frame.
class VideoFeed {
public:
    virtual ~VideoFeed() = default;
    virtual std::int64_t count() const = 0;
    virtual REFERENCE_TIME time(std::int64_t index) const = 0;
    // Writes frame index into dst (the pin's sample size).
    virtual void render(std::int64_t index, std::uint8_t* dst) = 0;

    // The last frame starting at or before t (the first before the start,
    // the last after the end).
    std::int64_t indexAt(REFERENCE_TIME t) const
    {
        std::int64_t lo = 0, hi = count() - 1;
        if (hi <= 0 || t <= time(0))
            return 0;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo + 1) / 2;
            if (time(mid) <= t)
                lo = mid;
            else
                hi = mid - 1;
        }
        return lo;
    }

    CBaseOutputPin* pin = nullptr;
    std::int32_t sampleSize = 0;
};

// One sound stream, rendered in runs of sample frames.
class AudioFeed {
public:
    virtual ~AudioFeed() = default;
    virtual std::int64_t count() const = 0;
    virtual void render(std::int64_t first, int frames, std::int16_t* dst) = 0;

    CBaseOutputPin* pin = nullptr;
    int rate = 0;
    int channels = 0;
};

class TimelineVideoFeed : public VideoFeed {
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

class TimelineAudioFeed : public AudioFeed {
public:
    explicit TimelineAudioFeed(CGroupRenderer& r)
        : r_(r)
    { }
    std::int64_t count() const override { return r_.sampleCount(); }
    void render(std::int64_t first, int frames, std::int16_t* dst) override { r_.RenderAudio(first, frames, dst); }

private:
    CGroupRenderer& r_;
};

// Pictures of a file at its frame rate, as bottom-up 24-bit frames.
class FileVideoFeed : public VideoFeed {
public:
    FileVideoFeed(const QString& path, int width, int height, double fps, REFERENCE_TIME duration)
        : reader_(path)
        , width_(width)
        , height_(height)
        , fps_(fps)
    {
        count_ = std::max<std::int64_t>(1, std::int64_t(std::ceil(double(duration) * fps_ / kUnitsPerSecond)));
        while (count_ > 1 && time(count_ - 1) >= duration)
            --count_;
    }
    ~FileVideoFeed() override { sws_freeContext(sws_); }

    std::int64_t count() const override { return count_; }
    REFERENCE_TIME time(std::int64_t index) const override
    {
        return REFERENCE_TIME(std::llround(double(index) * kUnitsPerSecond / fps_));
    }
    void render(std::int64_t index, std::uint8_t* dst) override
    {
        const int stride = DibRowBytes(width_, 24);
        std::memset(dst, 0, std::size_t(stride) * std::size_t(height_));
        const AVFrame* frame = reader_.ok() ? reader_.frameAt(time(index)) : nullptr;
        if (!frame || frame->width <= 0 || frame->height <= 0)
            return;
        sws_ = sws_getCachedContext(sws_, frame->width, frame->height, AVPixelFormat(frame->format), width_, height_,
            AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws_)
            return;
        // Bottom-up: the picture's top row is the buffer's last row.
        std::uint8_t* out[4] = { dst + std::ptrdiff_t(height_ - 1) * stride, nullptr, nullptr, nullptr };
        int outStride[4] = { -stride, 0, 0, 0 };
        sws_scale(sws_, frame->data, frame->linesize, 0, frame->height, out, outStride);
    }

private:
    CSourceVideoReader reader_;
    int width_;
    int height_;
    double fps_;
    std::int64_t count_ = 0;
    SwsContext* sws_ = nullptr;
};

// Sound of a file as 16-bit PCM at its own rate (silence past its end).
class FileAudioFeed : public AudioFeed {
public:
    FileAudioFeed(const QString& path, int sampleRate, int channelCount, REFERENCE_TIME duration)
        : reader_(path, sampleRate, channelCount)
    {
        rate = sampleRate;
        channels = channelCount;
        count_ = duration * sampleRate / 10000000;
    }
    std::int64_t count() const override { return count_; }
    void render(std::int64_t first, int frames, std::int16_t* dst) override
    {
        if (!started_ || first != origin_ + reader_.position()) {
            reader_.start(REFERENCE_TIME(double(first) * kUnitsPerSecond / rate));
            origin_ = first;
            started_ = true;
        }
        reader_.read(dst, frames);
    }

private:
    CSourceAudioReader reader_;
    std::int64_t count_ = 0;
    std::int64_t origin_ = 0;
    bool started_ = false;
};

// The source of a file graph: one output pin per stream, fed by the
// streaming threads of CGraphBasic.
class CFileSourcePin : public CBaseOutputPin {
public:
    CFileSourcePin(
        CBaseFilter* filter, HRESULT* phr, const std::string& name, const CMediaType& mt, std::int32_t bufferSize)
        : CBaseOutputPin("File source output", filter, phr, name)
        , type_(mt)
        , bufferSize_(bufferSize)
    { }
    HRESULT CheckMediaType(const CMediaType& mt) override { return mt == type_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }
    HRESULT GetMediaType(int position, CMediaType* mt) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        *mt = type_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        ALLOCATOR_PROPERTIES want = *request;
        want.cBuffers = std::max(want.cBuffers, 2);
        want.cbBuffer = std::max(want.cbBuffer, bufferSize_);
        want.cbAlign = std::max(want.cbAlign, 1);
        ALLOCATOR_PROPERTIES actual;
        HRESULT hr = allocator->SetProperties(want, &actual);
        if (FAILED(hr))
            return hr;
        return actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
    }

private:
    CMediaType type_;
    std::int32_t bufferSize_;
};

class CFileSourceFilter : public CBaseFilter {
public:
    CFileSourceFilter()
        : CBaseFilter("File source", nullptr, GUID_NULL)
    { }
    CFileSourcePin* addPin(const std::string& name, const CMediaType& mt, std::int32_t bufferSize)
    {
        HRESULT hr = S_OK;
        pins_.push_back(std::make_unique<CFileSourcePin>(this, &hr, name, mt, bufferSize));
        return pins_.back().get();
    }
    int GetPinCount() override { return int(pins_.size()); }
    CBasePin* GetPin(int n) override { return n >= 0 && n < int(pins_.size()) ? pins_[std::size_t(n)].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CFileSourcePin>> pins_;
};

struct FormatCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
} // namespace

// The streaming side of an open graph: the feeds, the renderers, the sound
// output, the clock, the threads and the event queue.
class CGraphBasic::Streaming {
public:
    ~Streaming()
    {
        halt();
        if (output)
            output->Close();
    }

    std::unique_ptr<VideoFeed> video;
    std::unique_ptr<AudioFeed> audio;
    std::shared_ptr<CVideoRendererFilter> renderer;
    std::shared_ptr<CSampleSinkFilter> soundSink;
    std::unique_ptr<CAudioOutput> output; // set while a device plays the sound
    std::shared_ptr<CFrameSlot> slot;
    REFERENCE_TIME duration = 0;
    std::atomic<std::int64_t> cpuNs { 0 };
    std::atomic<std::int64_t> framesSkipped { 0 };

    // Events.
    void notifyEvent(long code)
    {
        std::lock_guard lock(eventMutex_);
        if (stop_.load(std::memory_order_acquire))
            return;
        events_.push_back(code);
        eventSignal_.notify_all();
        if (notify_)
            PostMessage(notify_, notifyMessage_);
    }
    void setNotify(QObject* window, std::uint32_t message)
    {
        std::lock_guard lock(eventMutex_);
        notify_ = window;
        notifyMessage_ = message;
    }
    HRESULT getEvent(long* code, int timeoutMs)
    {
        std::unique_lock lock(eventMutex_);
        if (!eventSignal_.wait_for(
                lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [this] { return !events_.empty(); })) {
            *code = 0;
            return VFW_E_TIMEOUT;
        }
        *code = events_.front();
        events_.pop_front();
        return S_OK;
    }

    // The playback clock: the sound device's play time while it plays,
    // else monotonic time, continuing from where the sound left off.
    REFERENCE_TIME clock()
    {
        std::lock_guard lock(clockMutex_);
        const auto now = SteadyClock::now();
        if (soundClock_) {
            const REFERENCE_TIME played = output->PlayedTime();
            const bool drained = audioFinished_.load(std::memory_order_acquire)
                && played >= audioWritten_.load(std::memory_order_acquire);
            if (!output->Failed() && !drained)
                return base_ + played;
            soundClock_ = false;
            monoBase_ = base_ + played;
            monoStart_ = now;
        }
        return monoBase_ + std::chrono::duration_cast<std::chrono::nanoseconds>(now - monoStart_).count() / 100;
    }
    bool soundClockActive()
    {
        std::lock_guard lock(clockMutex_);
        return running_.load(std::memory_order_acquire) && soundClock_;
    }

    bool isRunning() const { return running_.load(std::memory_order_acquire); }

    // Starts the streaming threads at position from.
    void start(REFERENCE_TIME from)
    {
        halt();
        stop_.store(false, std::memory_order_release);
        const bool sound = audio && output && !output->Failed();
        {
            std::lock_guard lock(clockMutex_);
            base_ = from;
            monoBase_ = from;
            monoStart_ = SteadyClock::now();
            soundClock_ = sound;
            audioFinished_.store(false, std::memory_order_release);
            audioWritten_.store(0, std::memory_order_release);
        }
        if (sound)
            output->Flush();
        running_.store(true, std::memory_order_release);
        active_.store((video ? 1 : 0) + (sound ? 1 : 0), std::memory_order_release);
        if (video)
            videoThread_ = std::thread([this, first = video->indexAt(from)] {
                NameThread("playback video");
                videoLoop(first);
            });
        if (sound) {
            const std::int64_t first = from * audio->rate / 10000000;
            audioThread_ = std::thread([this, first] {
                NameThread("playback sound");
                audioLoop(first);
            });
        }
        if (!video && !sound) {
            // Nothing to stream: the clock alone runs to the end.
            active_.store(1, std::memory_order_release);
            videoThread_ = std::thread([this] {
                NameThread("playback clock");
                partDone();
            });
        }
    }

    // Ends the streaming threads; returns the position reached.
    REFERENCE_TIME halt()
    {
        REFERENCE_TIME position = -1;
        if (running_.load(std::memory_order_acquire))
            position = std::clamp<REFERENCE_TIME>(clock(), 0, duration);
        {
            std::lock_guard lock(eventMutex_);
            stop_.store(true, std::memory_order_release);
        }
        {
            std::lock_guard lock(waitMutex_);
        }
        wake_.notify_all();
        if (output)
            output->Abort();
        if (videoThread_.joinable())
            videoThread_.join();
        if (audioThread_.joinable())
            audioThread_.join();
        running_.store(false, std::memory_order_release);
        if (output)
            output->Flush();
        return position;
    }

    // Shows the frame at t at once (on the calling thread).
    void showFrameAt(REFERENCE_TIME t)
    {
        if (!video || !video->pin || video->count() == 0)
            return;
        const std::int64_t index = video->indexAt(t);
        SamplePtr sample;
        if (FAILED(video->pin->GetDeliveryBuffer(&sample, AM_GBF_NOWAIT)))
            return;
        if (fillFrame(index, sample))
            video->pin->Deliver(sample);
    }

    // The renderer's scheduler: waits until a frame is due.
    bool waitUntil(REFERENCE_TIME t)
    {
        if (!running_.load(std::memory_order_acquire))
            return true;
        for (;;) {
            if (stop_.load(std::memory_order_acquire))
                return false;
            const REFERENCE_TIME now = clock();
            if (now >= t)
                return true;
            const auto wait = std::min<std::chrono::nanoseconds>(std::chrono::nanoseconds((t - now) * 100), kClockPoll);
            std::unique_lock lock(waitMutex_);
            wake_.wait_for(lock, wait, [this] { return stop_.load(std::memory_order_acquire); });
        }
    }

    // The sound renderer: hands the samples to the output.
    HRESULT playSound(const SamplePtr& sample)
    {
        if (!output)
            return S_OK;
        std::uint8_t* data = nullptr;
        sample->GetPointer(&data);
        const int frames = sample->GetActualDataLength() / (2 * audio->channels);
        output->Write(reinterpret_cast<const std::int16_t*>(data), frames);
        return S_OK;
    }

private:
    bool fillFrame(std::int64_t index, const SamplePtr& sample)
    {
        std::uint8_t* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < video->sampleSize)
            return false;
        video->render(index, data);
        REFERENCE_TIME start = video->time(index);
        REFERENCE_TIME stop = index + 1 < video->count() ? video->time(index + 1) : std::max(duration, start + 1);
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(true);
        sample->SetActualDataLength(video->sampleSize);
        return true;
    }

    void videoLoop(std::int64_t first)
    {
        const std::int64_t cpu0 = ThreadCpuNs();
        const std::int64_t n = video->count();
        std::int64_t skipped = 0;
        for (std::int64_t i = first; i < n && !stop_.load(std::memory_order_acquire); ++i) {
            // Behind the clock (slow decoding, a busy machine): a frame whose
            // successor is already due is skipped, so the pictures catch up.
            if (i != first && i + 1 < n && clock() >= video->time(i + 1)) {
                ++skipped;
                continue;
            }
            SamplePtr sample;
            if (FAILED(video->pin->GetDeliveryBuffer(&sample)))
                break;
            if (!fillFrame(i, sample))
                break;
            sample->SetDiscontinuity(i == first);
            const HRESULT hr = video->pin->Deliver(sample);
            if (FAILED(hr))
                break;
        }
        framesSkipped.fetch_add(skipped, std::memory_order_relaxed);
        cpuNs.fetch_add(ThreadCpuNs() - cpu0, std::memory_order_relaxed);
        partDone();
    }

    void audioLoop(std::int64_t first)
    {
        const std::int64_t cpu0 = ThreadCpuNs();
        const std::int64_t total = audio->count();
        const int chunk = std::max(1, audio->rate / kSoundChunksPerSecond);
        std::int64_t written = 0;
        for (std::int64_t at = first; at < total && !stop_.load(std::memory_order_acquire); at += chunk) {
            const int frames = int(std::min<std::int64_t>(chunk, total - at));
            SamplePtr sample;
            if (FAILED(audio->pin->GetDeliveryBuffer(&sample)))
                break;
            std::uint8_t* data = nullptr;
            sample->GetPointer(&data);
            if (sample->GetSize() < frames * 2 * audio->channels)
                break;
            audio->render(at, frames, reinterpret_cast<std::int16_t*>(data));
            REFERENCE_TIME start = REFERENCE_TIME(double(at) * kUnitsPerSecond / audio->rate);
            REFERENCE_TIME stop = REFERENCE_TIME(double(at + frames) * kUnitsPerSecond / audio->rate);
            sample->SetTime(&start, &stop);
            sample->SetActualDataLength(frames * 2 * audio->channels);
            if (FAILED(audio->pin->Deliver(sample)) || output->Failed())
                break;
            written += frames;
            audioWritten_.store(
                REFERENCE_TIME(double(written) * kUnitsPerSecond / audio->rate), std::memory_order_release);
        }
        audioFinished_.store(true, std::memory_order_release);
        cpuNs.fetch_add(ThreadCpuNs() - cpu0, std::memory_order_relaxed);
        partDone();
    }

    // The last thread to finish waits for the clock to reach the end and
    // reports completion.
    void partDone()
    {
        if (active_.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        while (!stop_.load(std::memory_order_acquire)) {
            const REFERENCE_TIME now = clock();
            if (now >= duration)
                break;
            const auto wait
                = std::min<std::chrono::nanoseconds>(std::chrono::nanoseconds((duration - now) * 100), kClockPoll);
            std::unique_lock lock(waitMutex_);
            wake_.wait_for(lock, wait, [this] { return stop_.load(std::memory_order_acquire); });
        }
        notifyEvent(EC_COMPLETE);
    }

    std::mutex eventMutex_;
    std::condition_variable eventSignal_;
    std::deque<long> events_;
    QObject* notify_ = nullptr;
    std::uint32_t notifyMessage_ = 0;

    std::mutex clockMutex_;
    bool soundClock_ = false;
    REFERENCE_TIME base_ = 0;
    REFERENCE_TIME monoBase_ = 0;
    SteadyClock::time_point monoStart_;
    std::atomic<bool> audioFinished_ { false };
    std::atomic<REFERENCE_TIME> audioWritten_ { 0 };

    std::atomic<bool> stop_ { false };
    std::atomic<bool> running_ { false };
    std::atomic<int> active_ { 0 };
    std::mutex waitMutex_;
    std::condition_variable wake_;
    std::thread videoThread_;
    std::thread audioThread_;
};

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
    path_ = path.left(259);
    HRESULT hr = buildFileGraph(path_);
    if (FAILED(hr)) {
        teardown();
        return E_FAIL;
    }
    readVideoFacts();
    audioOnly_ = !videoSlot_;
    state_ = Open;
    streaming_->showFrameAt(0);
    hr = readDetectorFacts(path_);
    if (FAILED(hr))
        return E_FAIL;
    return S_OK;
}

HRESULT CGraphBasic::buildFileGraph(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return E_FAIL;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return E_FAIL;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return E_FAIL;

    int videoIndex = -1, audioIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        const AVCodecParameters* par = st->codecpar;
        if (!avcodec_find_decoder(par->codec_id))
            continue;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0 && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && par->width > 0 && par->height > 0)
            videoIndex = int(i);
        else if (par->codec_type == AVMEDIA_TYPE_AUDIO && audioIndex < 0 && par->sample_rate > 0
            && par->ch_layout.nb_channels > 0)
            audioIndex = int(i);
    }
    if (videoIndex < 0 && audioIndex < 0)
        return E_FAIL;

    REFERENCE_TIME duration = 0;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        duration = format->duration * 10;
    for (int index : { videoIndex, audioIndex }) {
        if (index < 0)
            continue;
        const AVStream* st = format->streams[index];
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            duration = std::max<REFERENCE_TIME>(
                duration, av_rescale_q(st->duration, st->time_base, AVRational { 1, 10000000 }));
    }
    if (duration <= 0)
        return E_FAIL;

    auto streaming = std::make_unique<Streaming>();
    streaming->duration = duration;
    auto graph = std::make_shared<CFilterGraph>();
    auto source = std::make_shared<CFileSourceFilter>();
    HRESULT hr = graph->AddFilter(source, "File Source");
    if (FAILED(hr))
        return hr;

    if (videoIndex >= 0) {
        const AVStream* st = format->streams[videoIndex];
        const int width = st->codecpar->width & ~1;
        const int height = st->codecpar->height & ~1;
        AVRational rate = av_guess_frame_rate(format.get(), const_cast<AVStream*>(st), nullptr);
        double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
        if (!(fps > 0.5 && fps <= 240))
            fps = 25.0;
        CMediaType mt = MakeRgbVideoType(
            std::max(width, 2), std::max(height, 2), 24, REFERENCE_TIME(std::llround(kUnitsPerSecond / fps)));
        if (VIDEOINFOHEADER* vih = mt.VideoInfo())
            vih->dwBitRate = std::uint32_t(std::max<std::int64_t>(0, st->codecpar->bit_rate));
        CFileSourcePin* pin = source->addPin("Video", mt, std::int32_t(mt.GetSampleSize()));
        auto feed = std::make_unique<FileVideoFeed>(path, std::max(width, 2), std::max(height, 2), fps, duration);
        feed->pin = pin;
        feed->sampleSize = std::int32_t(mt.GetSampleSize());

        videoSlot_ = std::make_shared<CFrameSlot>();
        auto renderer = std::make_shared<CVideoRendererFilter>(videoSlot_);
        if (FAILED(hr = graph->AddFilter(renderer, "Video Renderer"))
            || FAILED(hr = graph->Connect(pin, renderer->InputPin())))
            return hr;
        streaming->renderer = renderer;
        streaming->slot = videoSlot_;
        streaming->video = std::move(feed);
    }
    if (audioIndex >= 0) {
        const AVStream* st = format->streams[audioIndex];
        const int rate = std::clamp(st->codecpar->sample_rate, 8000, 192000);
        const int channels = std::min(2, st->codecpar->ch_layout.nb_channels);
        CMediaType mt = MakePcmAudioType(channels, rate, 16);
        const std::int32_t chunk = std::max(1, rate / kSoundChunksPerSecond) * channels * 2;
        CFileSourcePin* pin = source->addPin("Audio", mt, chunk);
        auto feed = std::make_unique<FileAudioFeed>(path, rate, channels, duration);
        feed->pin = pin;
        Streaming* s = streaming.get();
        auto sink = std::make_shared<CSampleSinkFilter>(CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
            [s](const SamplePtr& sample) { return s->playSound(sample); });
        if (FAILED(hr = graph->AddFilter(sink, "Audio Renderer")) || FAILED(hr = graph->Connect(pin, sink->InputPin())))
            return hr;
        streaming->soundSink = sink;
        streaming->audio = std::move(feed);
        hasAudio_ = true;
    }
    format.reset();

    if (streaming->renderer) {
        Streaming* s = streaming.get();
        streaming->renderer->SetScheduler([s](REFERENCE_TIME t) { return s->waitUntil(t); });
    }
    if (streaming->audio) {
        auto output = std::make_unique<CAudioOutput>();
        if (output->Open(streaming->audio->rate, streaming->audio->channels)) {
            output->SetVolume(VolumeToGain(volume_));
            streaming->output = std::move(output);
        }
    }
    // The graph stays cued (paused) while it is open; the streaming threads
    // start and stop with the transport.
    if (FAILED(hr = graph->Pause()))
        return hr;
    graph_ = std::move(graph);
    streaming_ = std::move(streaming);
    duration_ = duration;
    return S_OK;
}

void CGraphBasic::readVideoFacts()
{
    videoWidth_ = videoHeight_ = 0;
    avgTimePerFrame_ = 0;
    bitErrorRate_ = bitRate_ = 0;
    if (!streaming_ || !streaming_->renderer)
        return;
    CMediaType mt;
    if (FAILED(streaming_->renderer->InputPin()->ConnectionMediaType(&mt)) || !mt.VideoInfo())
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
    auto fail = [](const char* text) {
        Dialogs().messageBox(nullptr, QString::fromLatin1(text), QString(), MB_OK);
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
    engine_ = std::make_unique<CRenderEngine>();
    HRESULT hr = engine_->SetTimelineObject(std::move(timeline));
    if (SUCCEEDED(hr))
        hr = engine_->ConnectFrontEnd();
    std::shared_ptr<CRenderGraph> graph;
    if (SUCCEEDED(hr))
        hr = engine_->GetFilterGraph(&graph);
    if (FAILED(hr)) {
        teardown();
        return hr;
    }
    auto streaming = std::make_unique<Streaming>();
    streaming->duration = engine_->duration();

    auto effect = CCopyTransformFilter::Create(&hr);
    if (!effect || FAILED(hr = graph->AddFilter(effect, "Dynamic Filter"))) {
        teardown();
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    videoSlot_ = std::make_shared<CFrameSlot>();
    auto renderer = std::make_shared<CVideoRendererFilter>(videoSlot_);
    if (FAILED(hr = graph->AddFilter(renderer, "Video renderer"))) {
        teardown();
        return hr;
    }
    CBaseOutputPin* videoPin = nullptr;
    engine_->GetGroupOutputPin(0, &videoPin);
    if (!videoPin) {
        teardown();
        return E_FAIL;
    }
    if (FAILED(hr = graph->Connect(videoPin, effect->InputPin()))
        || FAILED(hr = graph->Connect(effect->OutputPin(), renderer->InputPin()))) {
        teardown();
        return hr;
    }
    auto* groupPin = static_cast<CRenderGroupPin*>(videoPin);
    auto videoFeed = std::make_unique<TimelineVideoFeed>(groupPin->renderer());
    videoFeed->pin = videoPin;
    videoFeed->sampleSize = std::int32_t(groupPin->renderer().mediaType().GetSampleSize());
    streaming->video = std::move(videoFeed);
    streaming->renderer = renderer;
    streaming->slot = videoSlot_;

    // The remaining group pins: sound goes to the audio output.
    for (int g = 1; g < engine_->timeline()->GetGroupCount(); ++g) {
        CBaseOutputPin* pin = nullptr;
        engine_->GetGroupOutputPin(g, &pin);
        auto* soundPin = static_cast<CRenderGroupPin*>(pin);
        if (!soundPin || soundPin->renderer().isVideo() || streaming->audio)
            continue;
        Streaming* s = streaming.get();
        auto sink = std::make_shared<CSampleSinkFilter>(CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),
            [s](const SamplePtr& sample) { return s->playSound(sample); });
        if (FAILED(hr = graph->AddFilter(sink, "Audio Renderer"))
            || FAILED(hr = graph->Connect(pin, sink->InputPin()))) {
            teardown();
            return hr;
        }
        auto feed = std::make_unique<TimelineAudioFeed>(soundPin->renderer());
        feed->pin = pin;
        feed->rate = soundPin->renderer().audioFormat().sampleRate;
        feed->channels = soundPin->renderer().audioFormat().channels;
        streaming->audio = std::move(feed);
        streaming->soundSink = sink;
        hasAudio_ = true;
    }
    {
        Streaming* s = streaming.get();
        renderer->SetScheduler([s](REFERENCE_TIME t) { return s->waitUntil(t); });
    }
    if (streaming->audio) {
        auto output = std::make_unique<CAudioOutput>();
        if (output->Open(streaming->audio->rate, streaming->audio->channels)) {
            output->SetVolume(VolumeToGain(volume_));
            streaming->output = std::move(output);
        }
    }
    if (FAILED(hr = graph->Pause())) {
        streaming.reset();
        teardown();
        return hr;
    }
    graph_ = graph;
    streaming_ = std::move(streaming);
    readVideoFacts();
    audioOnly_ = !videoSlot_;
    state_ = Open;
    duration_ = streaming_->duration;
    streaming_->showFrameAt(0);

    std::uint32_t registration = 0;
    if (FAILED(AddGraphToRot(graph_.get(), &registration)))
        registration = 0;
    g_rotRegistration.store(registration, std::memory_order_relaxed);
    return S_OK;
}

void CGraphBasic::teardown()
{
    if (streaming_) {
        streaming_->halt();
        streaming_->setNotify(nullptr, 0);
    }
    if (graph_)
        graph_->Stop();
    if (graph_) {
        FilterPtr effect;
        if (SUCCEEDED(graph_->FindFilterByName("Dynamic Filter", &effect)))
            graph_->RemoveFilter(effect.get());
    }
    streaming_.reset();
    graph_.reset();
    if (engine_) {
        engine_->ScrapIt();
        engine_.reset();
    }
    videoSlot_.reset();
    audioOnly_ = false;
    hasAudio_ = false;
    path_.clear();
    duration_ = 0;
    state_ = Closed;
}

HRESULT CGraphBasic::CloseGraph()
{
    if (state_ == Closed || !graph_)
        return E_FAIL;
    teardown();
    if (const std::uint32_t registration = g_rotRegistration.exchange(0, std::memory_order_relaxed))
        RemoveGraphFromRot(registration);
    return S_OK;
}

HRESULT CGraphBasic::Play()
{
    if (state_ == Closed || !streaming_)
        return E_FAIL;
    if (state_ == Running)
        return S_OK;
    REFERENCE_TIME from = 0;
    GetCurrentPosition(&from);
    if (from >= duration_)
        from = 0;
    streaming_->start(from);
    state_ = Running;
    return S_OK;
}

HRESULT CGraphBasic::Pause()
{
    if (state_ == Closed || !streaming_)
        return E_FAIL;
    if (streaming_->isRunning())
        pausedAt_ = streaming_->halt();
    state_ = Paused;
    return S_OK;
}

HRESULT CGraphBasic::Stop()
{
    if (state_ == Closed || !streaming_)
        return E_FAIL;
    streaming_->halt();
    pausedAt_ = 0;
    streaming_->showFrameAt(0);
    state_ = Stopped;
    return S_OK;
}

HRESULT CGraphBasic::SetCurrentPosition(REFERENCE_TIME position)
{
    if (state_ == Closed || !streaming_ || position < 0 || position > duration_)
        return E_FAIL;
    if (streaming_->isRunning()) {
        streaming_->start(position);
    } else {
        pausedAt_ = position;
        streaming_->showFrameAt(position);
    }
    return S_OK;
}

HRESULT CGraphBasic::GetCurrentPosition(REFERENCE_TIME* position) const
{
    if (!position)
        return E_POINTER;
    if (state_ == Closed || !streaming_)
        return E_FAIL;
    *position = streaming_->isRunning() ? std::clamp<REFERENCE_TIME>(streaming_->clock(), 0, duration_) : pausedAt_;
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
    if (!streaming_)
        return E_FAIL;
    streaming_->setNotify(window, message);
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
    if (!streaming_)
        return E_FAIL;
    return streaming_->getEvent(code, timeoutMs);
}

HRESULT CGraphBasic::PutVolume(long volume)
{
    if (!hasAudio_)
        return E_NOINTERFACE;
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    volume_ = volume;
    if (streaming_ && streaming_->output)
        streaming_->output->SetVolume(VolumeToGain(volume));
    return S_OK;
}

HRESULT CGraphBasic::GetVolume(long* volume) const
{
    if (!volume)
        return E_POINTER;
    if (!hasAudio_)
        return E_NOINTERFACE;
    *volume = volume_;
    return S_OK;
}

std::int64_t CGraphBasic::FramesPresented() const
{
    return streaming_ && streaming_->slot ? streaming_->slot->PresentedCount() : 0;
}

bool CGraphBasic::SoundClockActive() const
{
    return streaming_ && streaming_->soundClockActive();
}

std::int64_t CGraphBasic::StreamingCpuNs() const
{
    return streaming_ ? streaming_->cpuNs.load(std::memory_order_relaxed) : 0;
}

std::int64_t CGraphBasic::FramesSkipped() const
{
    return streaming_ ? streaming_->framesSkipped.load(std::memory_order_relaxed) : 0;
}

CAudioOutput* CGraphBasic::AudioOutput() const
{
    return streaming_ ? streaming_->output.get() : nullptr;
}
