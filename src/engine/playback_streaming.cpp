#include "engine/playback_streaming.h"

#include "engine/video_renderer.h"
#include "platform/audio_output.h"
#include "platform/media/simple_filters.h"
#include "platform/messages.h"

#include <algorithm>

#include <new>
#include <pthread.h>
#include <time.h>

namespace {
constexpr double kUnitsPerSecond = 10000000.0;
// Sound is handed to the output in pieces of a tenth of a second.
constexpr int kSoundChunksPerSecond = 10;
// Longest single wait of a streaming thread before it looks at the clock again.
constexpr auto kClockPoll = std::chrono::milliseconds(20);

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
} // namespace

CPlaybackStreaming::CPlaybackStreaming() = default;

CPlaybackStreaming::~CPlaybackStreaming()
{
    halt();
    if (output)
        output->Close();
}

void CPlaybackStreaming::scheduleRenderer()
{
    if (renderer)
        renderer->SetScheduler([this](REFERENCE_TIME t) { return waitUntil(t); });
}

void CPlaybackStreaming::openSoundOutput(long volume)
{
    if (!audio)
        return;
    auto device = std::make_unique<CAudioOutput>();
    if (device->Open(audio->rate, audio->channels)) {
        device->SetVolume(VolumeToGain(volume));
        output = std::move(device);
    }
}

void CPlaybackStreaming::notifyEvent(long code)
{
    std::lock_guard lock(eventMutex_);
    if (stop_.load(std::memory_order_acquire))
        return;
    events_.push_back(code);
    eventSignal_.notify_all();
    if (notify_)
        PostMessage(notify_, notifyMessage_);
}

void CPlaybackStreaming::setNotify(QObject* window, std::uint32_t message)
{
    std::lock_guard lock(eventMutex_);
    notify_ = window;
    notifyMessage_ = message;
}

HRESULT CPlaybackStreaming::getEvent(long* code, int timeoutMs)
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
REFERENCE_TIME CPlaybackStreaming::clock()
{
    std::lock_guard lock(clockMutex_);
    const auto now = SteadyClock::now();
    if (soundClock_) {
        const REFERENCE_TIME played = output->PlayedTime();
        const bool drained
            = audioFinished_.load(std::memory_order_acquire) && played >= audioWritten_.load(std::memory_order_acquire);
        if (!output->Failed() && !drained)
            return base_ + played;
        soundClock_ = false;
        monoBase_ = base_ + played;
        monoStart_ = now;
    }
    return monoBase_ + std::chrono::duration_cast<std::chrono::nanoseconds>(now - monoStart_).count() / 100;
}

bool CPlaybackStreaming::soundClockActive()
{
    std::lock_guard lock(clockMutex_);
    return running_.load(std::memory_order_acquire) && soundClock_;
}

// Starts the streaming threads at position from.
void CPlaybackStreaming::start(REFERENCE_TIME from)
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
            try {
                videoLoop(first);
            } catch (const std::bad_alloc&) {
                partDone(); // the pictures end here; playback finishes
            }
        });
    if (sound) {
        const std::int64_t first = from * audio->rate / 10000000;
        audioThread_ = std::thread([this, first] {
            NameThread("playback sound");
            try {
                audioLoop(first);
            } catch (const std::bad_alloc&) {
                audioFinished_.store(true, std::memory_order_release);
                partDone();
            }
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
REFERENCE_TIME CPlaybackStreaming::halt()
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
void CPlaybackStreaming::showFrameAt(REFERENCE_TIME t)
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
bool CPlaybackStreaming::waitUntil(REFERENCE_TIME t)
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
HRESULT CPlaybackStreaming::playSound(const SamplePtr& sample)
{
    if (!output)
        return S_OK;
    std::uint8_t* data = nullptr;
    sample->GetPointer(&data);
    const int frames = sample->GetActualDataLength() / (2 * audio->channels);
    output->Write(reinterpret_cast<const std::int16_t*>(data), frames);
    return S_OK;
}

bool CPlaybackStreaming::fillFrame(std::int64_t index, const SamplePtr& sample)
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

void CPlaybackStreaming::videoLoop(std::int64_t first)
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

void CPlaybackStreaming::audioLoop(std::int64_t first)
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
        audioWritten_.store(REFERENCE_TIME(double(written) * kUnitsPerSecond / audio->rate), std::memory_order_release);
    }
    audioFinished_.store(true, std::memory_order_release);
    cpuNs.fetch_add(ThreadCpuNs() - cpu0, std::memory_order_relaxed);
    partDone();
}

// The last thread to finish waits for the clock to reach the end and
// reports completion.
void CPlaybackStreaming::partDone()
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
