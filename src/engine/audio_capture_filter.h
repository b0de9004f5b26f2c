// CAudioCaptureFilter: sound from one audio input device as a source of the
// streaming graph. Its output pin ("Capture") carries 16-bit PCM at the
// device's preferred rate and channel count, time-stamped from the first
// captured sample. Its one input pin, named after the device, stands for the
// device's input line; a disabled line delivers silence.
//
// The device (a QAudioSource) lives on the process's capture thread, off
// the UI thread as the playback sink is: Run hands the start to that thread and returns at once
// (a new PulseAudio stream can take over a second to deliver). Samples are
// delivered downstream on that thread while the filter runs; while it is
// paused they are dropped, so a pause is not written. Stop turns further
// samples away and delivers the end of the stream, after which the WAV
// writer's header holds the final sizes. A device error, a device that stays
// silent for 2 s (6 s before its first block), a failed write and the RIFF size limit each end the
// delivery and call the failure callback once (on the capture thread).
#pragma once

#include "platform/media/media_filter.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CCaptureStream;

// The pin name that is always enabled, besides the master line's.
extern const char* const MicPinName;
// Whether EnableCapturePins enables a pin: its name is MicPinName or the
// master volume line's name, or it is the filter's only input pin.
bool CapturePinEnabled(const std::string& pinName, int inputPinCount);

class CAudioCaptureFilter : public CBaseFilter {
public:
    using FailureCallback = std::function<void()>;
    // Data bytes one WAV file may hold; delivery stops before the limit.
    static constexpr std::int64_t kMaxDataBytes = 0xFFFFFFFFLL - 36 - (1 << 20);
    // A running device that delivers nothing for this long has failed.
    static constexpr int kSilenceLimitMs = 2000;

    explicit CAudioCaptureFilter(const QAudioDevice& device);
    ~CAudioCaptureFilter() override;

    int GetPinCount() override { return 2; }
    // 0: the device's input line; 1: the output.
    CBasePin* GetPin(int n) override;
    CBasePin* OutputPin();
    // Enables or disables an input line (the mixer interface of a pin).
    HRESULT EnableInput(int n, bool enable);
    bool InputEnabled(int n) const;

    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT Stop() override;

    void SetFailureCallback(FailureCallback callback) { onFailure_ = std::move(callback); }
    // Monotonic milliseconds (steady clock) of the first sample written in
    // this run; 0 before it.
    std::int64_t FirstSampleMs() const { return firstSampleMs_.load(std::memory_order_acquire); }
    // Data bytes delivered in this run.
    std::int64_t BytesDelivered() const { return bytes_.load(std::memory_order_acquire); }
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    const QAudioFormat& CaptureFormat() const { return format_; }

    // Called by the capture stream on the capture thread.
    void onCaptured(const char* data, qint64 length);
    // The device failed or went away (from any thread).
    void onDeviceFailed();

    static std::int64_t NowMs();

private:
    class InputPin;
    class OutputPinImpl;
    void fail();

    QAudioDevice device_;
    QAudioFormat deviceFormat_; // what the device delivers
    QAudioFormat format_; // what the pin carries (16-bit)
    std::unique_ptr<InputPin> input_;
    std::unique_ptr<OutputPinImpl> output_;
    CCaptureStream* stream_ = nullptr; // lives on the capture thread
    FailureCallback onFailure_;
    std::mutex deliverMutex_; // held while delivering and while ending the stream
    std::vector<std::int16_t> convert_;
    std::int64_t frames_ = 0; // delivered in this run
    bool ended_ = true; // no delivery (before Run, after Stop or a failure)
    bool deviceStarted_ = false; // under m_csFilter
    std::atomic<std::int64_t> firstSampleMs_ { 0 };
    std::atomic<std::int64_t> bytes_ { 0 };
    std::atomic<bool> failed_ { false };
};
