#include "platform/audio_output.h"

#include "platform/tsan_annotations.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// Queue length and device buffer, in milliseconds of sound.
constexpr int kQueueMs = 400;
constexpr int kDeviceBufferMs = 100;
// A device that takes nothing for this long while sound waits has failed.
// (A new PulseAudio stream may take over a second before its first request.)
constexpr auto kStallLimit = std::chrono::milliseconds(2500);
} // namespace

double VolumeToGain(long hundredthsOfDb)
{
    if (hundredthsOfDb >= 0)
        return 1.0;
    if (hundredthsOfDb <= -10000)
        return 0.0;
    return std::pow(10.0, double(hundredthsOfDb) / 2000.0);
}

// The device the sink pulls from: a ring of queued samples, silence when it
// runs dry. Counts what the device took, so the play time can be derived.
class CAudioPull : public QIODevice {
public:
    CAudioPull(int rate, int channels)
        : rate_(rate)
        , channels_(channels)
        , ring_(std::size_t(std::max(1, rate * kQueueMs / 1000)) * std::size_t(channels))
    { }

    bool start()
    {
        QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(rate_);
        format.setChannelCount(channels_);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return false;
        sink_ = std::make_unique<QAudioSink>(device, format);
        sink_->setBufferSize(qsizetype(rate_ * kDeviceBufferMs / 1000) * channels_ * 2);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        {
            std::lock_guard lock(mutex_);
            lastTake_ = Clock::now();
        }
        sink_->start(this);
        if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            sink_.reset();
            return false;
        }
        const qsizetype buffer = sink_->bufferSize();
        latencyFrames_ = buffer > 0 ? std::int64_t(buffer / (channels_ * 2)) : rate_ * kDeviceBufferMs / 1000;
        QObject::connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State) {
            if (sink_ && sink_->error() != QAudio::NoError && sink_->error() != QAudio::UnderrunError)
                failed_.store(true, std::memory_order_relaxed);
        });
        return true;
    }

    void stop()
    {
        if (sink_) {
            sink_->stop();
            sink_.reset();
        }
        close();
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 20; }

    int write(const std::int16_t* samples, int frames)
    {
        std::unique_lock lock(mutex_);
        int done = 0;
        const std::size_t capacityFrames = ring_.size() / std::size_t(channels_);
        while (done < frames) {
            room_.wait(lock, [&] { return aborted_ || closed_ || countFrames_ < capacityFrames; });
            if (aborted_ || closed_ || failed_.load(std::memory_order_relaxed))
                break;
            const std::size_t free = capacityFrames - countFrames_;
            const std::size_t n = std::min<std::size_t>(free, std::size_t(frames - done));
            for (std::size_t i = 0; i < n * std::size_t(channels_); ++i) {
                ring_[writePos_] = samples[std::size_t(done) * std::size_t(channels_) + i];
                writePos_ = (writePos_ + 1) % ring_.size();
            }
            countFrames_ += n;
            done += int(n);
        }
        return done;
    }

    void setAborted(bool aborted)
    {
        {
            std::lock_guard lock(mutex_);
            aborted_ = aborted;
        }
        room_.notify_all();
    }

    void setClosed()
    {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        room_.notify_all();
    }

    void flush()
    {
        {
            std::lock_guard lock(mutex_);
            countFrames_ = 0;
            readPos_ = writePos_ = 0;
            taken_ = realTaken_ = silenceInside_ = pendingSilence_ = 0;
            aborted_ = false;
            lastTake_ = Clock::now();
        }
        room_.notify_all();
    }

    std::int64_t playedFrames() const
    {
        std::lock_guard lock(mutex_);
        const std::int64_t played = taken_ - silenceInside_ - latencyFrames_;
        return std::clamp<std::int64_t>(played, 0, realTaken_);
    }

    int queuedFrames() const
    {
        std::lock_guard lock(mutex_);
        return int(countFrames_);
    }

    bool failed() const
    {
        if (failed_.load(std::memory_order_relaxed))
            return true;
        std::lock_guard lock(mutex_);
        // Data waits (queued or not yet played) but the device takes nothing.
        const bool waiting = countFrames_ > 0 || realTaken_ > taken_ - silenceInside_ - latencyFrames_;
        return waiting && Clock::now() - lastTake_ > kStallLimit;
    }

    std::atomic<float> gain { 1.0f };

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const std::size_t frameBytes = std::size_t(channels_) * 2;
        const std::size_t frames = std::size_t(maxSize) / frameBytes;
        auto* out = reinterpret_cast<std::int16_t*>(data);
        std::size_t real = 0;
        {
            std::lock_guard lock(mutex_);
            real = std::min(frames, countFrames_);
            const float g = gain.load(std::memory_order_relaxed);
            for (std::size_t i = 0; i < real * std::size_t(channels_); ++i) {
                const float v = float(ring_[readPos_]) * g;
                out[i] = std::int16_t(std::clamp(v, -32768.0f, 32767.0f));
                readPos_ = (readPos_ + 1) % ring_.size();
            }
            countFrames_ -= real;
            if (real > 0) {
                silenceInside_ += pendingSilence_;
                pendingSilence_ = 0;
            }
            pendingSilence_ += std::int64_t(frames - real);
            taken_ += std::int64_t(frames);
            realTaken_ += std::int64_t(real);
            if (frames > 0)
                lastTake_ = Clock::now();
        }
        room_.notify_all();
        std::memset(out + real * std::size_t(channels_), 0, (frames - real) * frameBytes);
        return qint64(frames * frameBytes);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const int rate_;
    const int channels_;
    std::unique_ptr<QAudioSink> sink_;
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::vector<std::int16_t> ring_;
    std::size_t readPos_ = 0;
    std::size_t writePos_ = 0;
    std::size_t countFrames_ = 0;
    // Frames the device took since the last flush: all of them, the queued
    // ones among them, silence that came before later real data, and
    // silence taken since the last real data.
    std::int64_t taken_ = 0;
    std::int64_t realTaken_ = 0;
    std::int64_t silenceInside_ = 0;
    std::int64_t pendingSilence_ = 0;
    std::int64_t latencyFrames_ = 0;
    Clock::time_point lastTake_;
    bool aborted_ = false;
    bool closed_ = false;
    std::atomic<bool> failed_ { false };
};

CAudioOutput::CAudioOutput() = default;

CAudioOutput::~CAudioOutput()
{
    Close();
}

bool CAudioOutput::Open(int sampleRate, int channels)
{
    Close();
    if (sampleRate <= 0 || channels <= 0)
        return false;
    rate_ = sampleRate;
    channels_ = channels;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("audio output"));
    thread_->start();
    pull_ = new CAudioPull(sampleRate, channels);
    pull_->moveToThread(thread_.get());
    bool ok = false;
    CallBlocking(pull_, [this, &ok] { ok = pull_->start(); });
    if (!ok)
        Close();
    return ok;
}

bool CAudioOutput::IsOpen() const
{
    return pull_ != nullptr;
}

void CAudioOutput::Close()
{
    if (pull_) {
        pull_->setClosed();
        CAudioPull* pull = pull_;
        CallBlocking(pull, [pull] {
            pull->stop();
            delete pull;
        });
        pull_ = nullptr;
    }
    if (thread_) {
        thread_->quit();
        thread_->wait();
        thread_.reset();
    }
}

int CAudioOutput::Write(const std::int16_t* samples, int frames)
{
    return pull_ ? pull_->write(samples, frames) : 0;
}

void CAudioOutput::Abort()
{
    if (pull_)
        pull_->setAborted(true);
}

void CAudioOutput::Flush()
{
    if (pull_)
        pull_->flush();
}

std::int64_t CAudioOutput::PlayedTime() const
{
    if (!pull_ || rate_ <= 0)
        return 0;
    return pull_->playedFrames() * 10000000 / rate_;
}

int CAudioOutput::QueuedFrames() const
{
    return pull_ ? pull_->queuedFrames() : 0;
}

bool CAudioOutput::Failed() const
{
    return !pull_ || pull_->failed();
}

void CAudioOutput::SetVolume(double gain)
{
    if (pull_)
        pull_->gain.store(float(std::clamp(gain, 0.0, 1.0)), std::memory_order_relaxed);
}

double CAudioOutput::Volume() const
{
    return pull_ ? pull_->gain.load(std::memory_order_relaxed) : 1.0;
}
