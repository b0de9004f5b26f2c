#include "engine/audio_capture_filter.h"

#include "platform/tsan_annotations.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QIODevice>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

const char* const MicPinName = "MIC_PIN";

namespace {
// The master volume line's name on the systems the recordings come from.
const char* const kMasterLineName = "마스터 볼륨";
constexpr int kBufferMs = 100;
constexpr int kBuffers = 4;
constexpr int kWatchdogMs = 250;
constexpr int kFirstDataLimitMs = 6000;
} // namespace

bool CapturePinEnabled(const std::string& pinName, int inputPinCount)
{
    return pinName == MicPinName || pinName == kMasterLineName || inputPinCount == 1;
}

namespace {
// One capture thread for the process: every audio source opens, runs and
// closes there, one after the other (the sound server's client library is
// used from one thread only). It ends when the application object goes, or
// when this code is unloaded first (a host's plug-in), which must not leave
// its routine in the application's list.
std::mutex g_captureThreadLock;
QThread* g_captureThread = nullptr;

void StopCaptureThread()
{
    std::lock_guard lock(g_captureThreadLock);
    if (g_captureThread) {
        g_captureThread->quit();
        g_captureThread->wait();
        delete g_captureThread;
        g_captureThread = nullptr;
    }
}

QThread* CaptureThread()
{
    std::lock_guard lock(g_captureThreadLock);
    if (!g_captureThread) {
        g_captureThread = new QThread();
        g_captureThread->setObjectName(QStringLiteral("audio capture"));
        g_captureThread->start();
        qAddPostRoutine(StopCaptureThread);
    }
    return g_captureThread;
}

struct CaptureThreadUnload {
    ~CaptureThreadUnload()
    {
        qRemovePostRoutine(StopCaptureThread);
        StopCaptureThread();
    }
} g_captureThreadUnload;
} // namespace

std::int64_t CAudioCaptureFilter::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The device on the capture thread: the audio source's own input device
// announces data, which is handed to the filter in whole frames. The
// watchdog reports a device that delivers nothing or has gone.
class CCaptureStream : public QObject {
public:
    CCaptureStream(CAudioCaptureFilter* filter, const QAudioDevice& device, const QAudioFormat& format)
        : filter_(filter)
        , device_(device)
        , format_(format)
    { }

    void start()
    {
        if (source_)
            return;
        reported_ = false;
        gotData_ = false;
        pending_.clear();
        lastData_ = CAudioCaptureFilter::NowMs();
        if (!device_.isFormatSupported(format_)) {
            reportFailure();
            return;
        }
        source_ = std::make_unique<QAudioSource>(device_, format_);
        source_->setBufferSize(qsizetype(format_.bytesForDuration(kBufferMs * 1000)));
        QObject::connect(source_.get(), &QAudioSource::stateChanged, this, [this](QAudio::State) {
            if (source_ && source_->error() != QAudio::NoError && source_->error() != QAudio::UnderrunError)
                reportFailure();
        });
        // The source owns this device and ends it on stop.
        input_ = source_->start();
        if (!input_ || source_->error() != QAudio::NoError) {
            reportFailure();
            return;
        }
        QObject::connect(input_, &QIODevice::readyRead, this, [this] { readAvailable(); });
        watchdog_ = new QTimer(this);
        QObject::connect(watchdog_, &QTimer::timeout, this, [this] {
            // A new stream may take a while to deliver its first block.
            const int limit = gotData_ ? CAudioCaptureFilter::kSilenceLimitMs : kFirstDataLimitMs;
            if (CAudioCaptureFilter::NowMs() - lastData_ > limit)
                reportFailure();
        });
        watchdog_->start(kWatchdogMs);
    }

    void stop()
    {
        delete watchdog_;
        watchdog_ = nullptr;
        input_ = nullptr;
        if (source_) {
            source_->stop();
            source_.reset();
        }
        pending_.clear();
    }

    // The filter is going away: no more calls into it.
    void detach()
    {
        std::lock_guard lock(mutex_);
        filter_ = nullptr;
    }

private:
    void readAvailable()
    {
        if (!input_)
            return;
        pending_.append(input_->readAll());
        const qsizetype frameBytes = format_.bytesPerFrame();
        const qsizetype whole = frameBytes > 0 ? pending_.size() / frameBytes * frameBytes : 0;
        if (whole <= 0)
            return;
        lastData_ = CAudioCaptureFilter::NowMs();
        gotData_ = true;
        {
            std::lock_guard lock(mutex_);
            if (filter_)
                filter_->onCaptured(pending_.constData(), whole);
        }
        pending_.remove(0, whole);
    }

    void reportFailure()
    {
        if (reported_)
            return;
        reported_ = true;
        std::lock_guard lock(mutex_);
        if (filter_)
            filter_->onDeviceFailed();
    }

    std::mutex mutex_;
    CAudioCaptureFilter* filter_;
    QAudioDevice device_;
    QAudioFormat format_;
    std::unique_ptr<QAudioSource> source_;
    QPointer<QIODevice> input_;
    QTimer* watchdog_ = nullptr;
    QByteArray pending_; // a partial frame left from the last read
    std::int64_t lastData_ = 0;
    bool reported_ = false;
    bool gotData_ = false;
};

// The device's input line: it takes no connection; the mixer switch turns
// it on and off.
class CAudioCaptureFilter::InputPin : public CBaseInputPin {
public:
    InputPin(CAudioCaptureFilter* f, HRESULT* phr, const std::string& name)
        : CBaseInputPin("Capture line", f, phr, name)
    { }
    HRESULT CheckMediaType(const CMediaType&) override { return VFW_E_TYPE_NOT_ACCEPTED; }
    std::atomic<bool> enabled { true };
};

class CAudioCaptureFilter::OutputPinImpl : public CBaseOutputPin {
public:
    OutputPinImpl(CAudioCaptureFilter* f, HRESULT* phr, const CMediaType& mt, std::int32_t bufferBytes)
        : CBaseOutputPin("Capture output", f, phr, "Capture")
        , mt_(mt)
        , bufferBytes_(bufferBytes)
    { }
    HRESULT CheckMediaType(const CMediaType& mt) override { return mt == mt_ ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int position, CMediaType* mt) override { return OfferOneMediaType(position, mt, mt_); }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = std::max(request->cBuffers, kBuffers);
        request->cbBuffer = std::max(request->cbBuffer, bufferBytes_);
        request->cbAlign = std::max(request->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual;
        HRESULT hr = allocator->SetProperties(*request, &actual);
        if (FAILED(hr))
            return hr;
        return actual.cbBuffer < bufferBytes_ ? E_FAIL : S_OK;
    }

private:
    CMediaType mt_;
    std::int32_t bufferBytes_;
};

CAudioCaptureFilter::CAudioCaptureFilter(const QAudioDevice& device)
    : CBaseFilter("Audio capture", nullptr, GUID_NULL)
    , device_(device)
{
    // The device's own rate and channels; 16-bit samples, as the WAV
    // writer takes them (the sound server converts).
    const QAudioFormat preferred = device.preferredFormat();
    format_.setSampleRate(preferred.sampleRate() > 0 ? preferred.sampleRate() : 44100);
    format_.setChannelCount(std::clamp(preferred.channelCount(), 1, 8));
    format_.setSampleFormat(QAudioFormat::Int16);
    HRESULT hr = S_OK;
    input_ = std::make_unique<InputPin>(this, &hr, device.description().toStdString());
    const CMediaType mt = MakePcmAudioType(format_.channelCount(), format_.sampleRate(), 16);
    output_ = std::make_unique<OutputPinImpl>(this, &hr, mt, format_.bytesForDuration(kBufferMs * 1000));
}

CAudioCaptureFilter::~CAudioCaptureFilter()
{
    if (stream_) {
        // The capture thread closes the device; nobody waits for it.
        stream_->detach();
        CCaptureStream* stream = stream_;
        PostQueued(stream, [stream] {
            stream->stop();
            delete stream;
        });
        stream_ = nullptr;
    }
}

CBasePin* CAudioCaptureFilter::GetPin(int n)
{
    if (n == 0)
        return input_.get();
    return n == 1 ? output_.get() : nullptr;
}

CBasePin* CAudioCaptureFilter::OutputPin()
{
    return output_.get();
}

HRESULT CAudioCaptureFilter::EnableInput(int n, bool enable)
{
    if (n != 0)
        return E_INVALIDARG;
    input_->enabled.store(enable, std::memory_order_relaxed);
    return S_OK;
}

bool CAudioCaptureFilter::InputEnabled(int n) const
{
    return n == 0 && input_->enabled.load(std::memory_order_relaxed);
}

HRESULT CAudioCaptureFilter::Pause()
{
    std::lock_guard lock(m_csFilter);
    if (IsStopped()) {
        // A new run: its clock and its counts start again.
        std::lock_guard deliverLock(deliverMutex_);
        ended_ = false;
        frames_ = 0;
        bytes_.store(0, std::memory_order_release);
        firstSampleMs_.store(0, std::memory_order_release);
        failed_.store(false, std::memory_order_release);
    }
    return CBaseFilter::Pause();
}

HRESULT CAudioCaptureFilter::Run(REFERENCE_TIME start)
{
    std::lock_guard lock(m_csFilter);
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr) || deviceStarted_)
        return hr;
    // The device starts on the first run after a stop; pauses keep it going.
    deviceStarted_ = true;
    if (!stream_) {
        stream_ = new CCaptureStream(this, device_, format_);
        stream_->moveToThread(CaptureThread());
    }
    CCaptureStream* stream = stream_;
    PostQueued(stream, [stream] { stream->start(); });
    return S_OK;
}

HRESULT CAudioCaptureFilter::Stop()
{
    std::lock_guard lock(m_csFilter);
    const bool wasActive = IsActive();
    HRESULT hr = S_OK;
    {
        // Samples still on their way are turned away; the end of the stream
        // makes the WAV writer write its final header (after errors too).
        std::lock_guard deliverLock(deliverMutex_);
        ended_ = true;
        if (wasActive && output_->IsConnected())
            hr = output_->DeliverEndOfStream();
    }
    if (stream_) {
        CCaptureStream* stream = stream_;
        PostQueued(stream, [stream] { stream->stop(); });
    }
    const HRESULT stopped = CBaseFilter::Stop();
    return FAILED(hr) ? hr : stopped;
}

void CAudioCaptureFilter::fail()
{
    if (!failed_.exchange(true, std::memory_order_acq_rel) && onFailure_)
        onFailure_();
}

void CAudioCaptureFilter::onDeviceFailed()
{
    {
        std::lock_guard lock(deliverMutex_);
        if (ended_)
            return;
        ended_ = true;
    }
    fail();
}

void CAudioCaptureFilter::onCaptured(const char* data, qint64 length)
{
    bool failed = false;
    {
        std::lock_guard lock(deliverMutex_);
        if (ended_ || State() != State_Running || !output_->IsConnected())
            return;
        const int blockAlign = format_.bytesPerFrame();
        const qint64 frames = length / blockAlign;
        if (frames <= 0)
            return;
        const qint64 bytes = frames * blockAlign;
        if (bytes_.load(std::memory_order_relaxed) + bytes > kMaxDataBytes) {
            ended_ = true;
            failed = true;
        }
        if (!input_->enabled.load(std::memory_order_relaxed)) {
            convert_.assign(std::size_t(bytes / 2), 0);
            data = reinterpret_cast<const char*>(convert_.data());
        }
        const int rate = format_.sampleRate();
        const std::int64_t firstFrame = frames_;
        for (qint64 done = 0; !failed && done < bytes;) {
            SamplePtr sample;
            if (FAILED(static_cast<CBaseOutputPin*>(output_.get())->GetDeliveryBuffer(&sample))) {
                failed = true;
                break;
            }
            const qint64 n = std::min<qint64>(bytes - done, sample->GetSize() / blockAlign * blockAlign);
            std::uint8_t* dst = nullptr;
            sample->GetPointer(&dst);
            std::memcpy(dst, data + done, std::size_t(n));
            sample->SetActualDataLength(std::int32_t(n));
            REFERENCE_TIME start = frames_ * 10000000 / rate;
            frames_ += n / blockAlign;
            REFERENCE_TIME stop = frames_ * 10000000 / rate;
            sample->SetTime(&start, &stop);
            sample->SetSyncPoint(true);
            if (FAILED(output_->Deliver(sample))) {
                failed = true;
                break;
            }
            done += n;
            bytes_.fetch_add(n, std::memory_order_acq_rel);
        }
        if (firstFrame == 0 && frames_ > 0) {
            // The block's first sample was captured its length ago.
            firstSampleMs_.store(NowMs() - frames_ * 1000 / rate, std::memory_order_release);
        }
        if (failed)
            ended_ = true;
    }
    if (failed)
        fail();
}
