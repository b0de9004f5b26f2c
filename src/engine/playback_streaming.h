// CPlaybackStreaming: the streaming side of an open playback graph: its
// feeds, renderers and sound output, the playback clock, the streaming
// threads and the event queue.
//
// Pictures are shown at their times; while sound plays, the sound device's
// play time is the clock, otherwise (no sound stream, no device, or a device
// that stops) a monotonic clock. When the last stream has been delivered and
// the clock reaches the end, EC_COMPLETE is queued and the notify object
// (if any) gets a posted message.
//
// Threads: start, halt, showFrameAt, openSoundOutput and setNotify are
// called by the thread that owns the graph (one at a time); the streaming
// threads ("playback video", "playback sound", "playback clock") run between
// start and halt, which joins them. clock, getEvent, soundClockActive,
// isRunning and the counters may be read from any thread.
#pragma once

#include "engine/playback_feeds.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class CAudioOutput;
class CFrameSlot;
class CSampleSinkFilter;
class CVideoRendererFilter;
class QObject;

class CPlaybackStreaming {
public:
    CPlaybackStreaming();
    ~CPlaybackStreaming();
    CPlaybackStreaming(const CPlaybackStreaming&) = delete;
    CPlaybackStreaming& operator=(const CPlaybackStreaming&) = delete;

    // Set by the graph builders before the first start.
    std::unique_ptr<CPlaybackVideoFeed> video;
    std::unique_ptr<CPlaybackAudioFeed> audio;
    std::shared_ptr<CVideoRendererFilter> renderer;
    std::shared_ptr<CSampleSinkFilter> soundSink;
    std::unique_ptr<CAudioOutput> output; // set while a device plays the sound
    std::shared_ptr<CFrameSlot> slot;
    REFERENCE_TIME duration = 0;
    std::atomic<std::int64_t> cpuNs { 0 };
    std::atomic<std::int64_t> framesSkipped { 0 };

    // Lets the renderer wait for each picture's time on this clock.
    void scheduleRenderer();
    // Opens the sound output for the audio feed (no output when there is no
    // device) at the volume in hundredths of a decibel.
    void openSoundOutput(long volume);

    // Events.
    void notifyEvent(long code);
    void setNotify(QObject* window, std::uint32_t message);
    HRESULT getEvent(long* code, int timeoutMs);

    // The playback clock: the sound device's play time while it plays,
    // else monotonic time, continuing from where the sound left off.
    REFERENCE_TIME clock();
    bool soundClockActive();
    bool isRunning() const { return running_.load(std::memory_order_acquire); }

    // Starts the streaming threads at position from.
    void start(REFERENCE_TIME from);
    // Ends the streaming threads; returns the position reached (-1 when
    // they were not running).
    REFERENCE_TIME halt();
    // Shows the frame at t at once (on the calling thread).
    void showFrameAt(REFERENCE_TIME t);

    // The renderer's scheduler: waits until a frame is due.
    bool waitUntil(REFERENCE_TIME t);
    // The sound renderer: hands the samples to the output.
    HRESULT playSound(const SamplePtr& sample);

private:
    using SteadyClock = std::chrono::steady_clock;

    bool fillFrame(std::int64_t index, const SamplePtr& sample);
    void videoLoop(std::int64_t first);
    void audioLoop(std::int64_t first);
    void partDone();

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
