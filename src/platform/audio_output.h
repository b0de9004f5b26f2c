// Sound output for playback: 16-bit PCM through Qt Multimedia's audio sink
// on the default output device (PulseAudio here).
//
// The sink lives on a thread of its own with an event loop, so sound keeps
// flowing while the user-interface thread is busy. Producers call Write from
// any thread; the sink pulls from a small queue. The play time the device
// reports is the clock that pictures follow. When there is no device, or
// the device stops taking data, Failed() turns true and the caller keeps
// time by itself.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>

class QThread;
class CAudioPull;

class CAudioOutput {
public:
    CAudioOutput();
    ~CAudioOutput();
    CAudioOutput(const CAudioOutput&) = delete;
    CAudioOutput& operator=(const CAudioOutput&) = delete;

    // Starts the sink on the default output device (silence until data
    // comes). False when there is no device or it cannot be started.
    bool Open(int sampleRate, int channels);
    bool IsOpen() const;
    // Stops the sink and its thread; waiting writers return.
    void Close();

    // Queues frames (channels interleaved samples each), waiting for room.
    // Returns the frames taken: fewer when Abort, Flush or Close interrupt
    // the wait, or when the device failed (then nothing is queued).
    int Write(const std::int16_t* samples, int frames);
    // Makes waiting and later writes return at once until Flush.
    void Abort();
    // Drops what is queued, restarts the play time at 0 and ends Abort.
    void Flush();

    // Time in 100 ns units of the written sound the device has played since
    // the last Flush.
    std::int64_t PlayedTime() const;
    // Frames queued and not yet taken by the device.
    int QueuedFrames() const;
    // True when the device could not be opened, reported an error, or took
    // no data for a second while it should have.
    bool Failed() const;

    // Linear gain (0 to 1) applied to every sample.
    void SetVolume(double gain);
    double Volume() const;

    int SampleRate() const { return rate_; }
    int Channels() const { return channels_; }

private:
    std::unique_ptr<QThread> thread_;
    CAudioPull* pull_ = nullptr; // lives on thread_
    int rate_ = 0;
    int channels_ = 0;
};

// Gain factor of a level in hundredths of a decibel (0 = full, -10000 = silent).
double VolumeToGain(long hundredthsOfDb);
