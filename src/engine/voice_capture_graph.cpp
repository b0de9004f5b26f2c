#include "engine/voice_capture_graph.h"

#include "engine/file_filters.h"
#include "platform/messages.h"

#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kDeviceCheckMs = 300;
} // namespace

CVoiceCaptureGraph::CVoiceCaptureGraph(QObject* notifyTarget)
    : notify_(notifyTarget)
{ }

CVoiceCaptureGraph::~CVoiceCaptureGraph()
{
    StopCapture();
    release();
}

void CVoiceCaptureGraph::release()
{
    devicesWatch_.reset();
    if (graph_)
        graph_->Stop();
    graph_.reset();
    writer_.reset();
    wavDest_.reset();
    capture_.reset();
}

bool CVoiceCaptureGraph::IsRunning() const
{
    return graph_ && graph_->State() == State_Running;
}

std::int64_t CVoiceCaptureGraph::FirstSampleMs() const
{
    return capture_ ? capture_->FirstSampleMs() : 0;
}

QAudioFormat CVoiceCaptureGraph::CaptureFormat() const
{
    return capture_ ? capture_->CaptureFormat() : QAudioFormat();
}

HRESULT CVoiceCaptureGraph::StartCapture(const QString& outputPath)
{
    // 1-4: a fresh graph; its events go to the notify target.
    release();
    outputPath_ = outputPath;
    graph_ = std::make_unique<CFilterGraph>();

    // 5: the device.
    HRESULT hr = SelectCaptureDevice();
    if (FAILED(hr)) {
        release();
        return hr;
    }
    QPointer<QObject> target = notify_;
    capture_->SetFailureCallback([target] { PostMessage(target.data(), msg::WM_CAPTURENOTIFY, 0, 0); });

    // 6-7: the WAV writer and the file writer (overwrite mode).
    wavDest_ = std::make_shared<CWavDestFilter>();
    hr = graph_->AddFilter(wavDest_, "WAV Dest");
    if (SUCCEEDED(hr)) {
        writer_ = std::make_shared<CFileWriterFilter>();
        hr = graph_->AddFilter(writer_, "File Writer");
    }
    if (SUCCEEDED(hr))
        hr = writer_->SetMode(true);
    if (SUCCEEDED(hr))
        hr = writer_->SetFileName(outputPath);
    // 8: capture output -> WAV writer -> file writer.
    if (SUCCEEDED(hr) && !capture_->OutputPin())
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = graph_->Connect(capture_->OutputPin(), wavDest_->GetPin(0));
    if (SUCCEEDED(hr))
        hr = graph_->Connect(wavDest_->GetPin(1), writer_->GetPin(0));
    // 9: every filter paused (the file opens) before the capture runs.
    if (SUCCEEDED(hr))
        hr = graph_->Pause();
    if (SUCCEEDED(hr))
        hr = graph_->Run();
    if (FAILED(hr)) {
        release();
        return hr;
    }
    // The sound server moves the stream of a removed source to another one,
    // so the device's leaving the list counts as its loss.
    devicesWatch_ = std::make_unique<QTimer>();
    const QByteArray id = devices_.front().id();
    std::weak_ptr<CAudioCaptureFilter> capture = capture_;
    QObject::connect(devicesWatch_.get(), &QTimer::timeout, devicesWatch_.get(), [id, capture] {
        const auto inputs = QMediaDevices::audioInputs();
        const bool listed
            = std::any_of(inputs.begin(), inputs.end(), [&id](const QAudioDevice& d) { return d.id() == id; });
        if (const auto filter = capture.lock(); filter && !listed)
            filter->onDeviceFailed();
    });
    devicesWatch_->start(kDeviceCheckMs);
    return S_OK;
}

HRESULT CVoiceCaptureGraph::SelectCaptureDevice()
{
    deviceNames_.clear();
    devices_.clear();
    pinNames_.clear();
    // The system's default input comes first.
    const QAudioDevice preferred = QMediaDevices::defaultAudioInput();
    QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    if (!preferred.isNull()) {
        inputs.removeIf([&](const QAudioDevice& d) { return d.id() == preferred.id(); });
        inputs.prepend(preferred);
    }
    for (const QAudioDevice& device : inputs) {
        deviceNames_.append(device.description());
        devices_.push_back(device);
    }
    if (deviceNames_.isEmpty()) {
        deviceNames_.append(QString::fromLatin1(kNoEntries));
        devices_.emplace_back();
    }
    const QAudioDevice& chosen = devices_.front();
    if (chosen.isNull())
        return E_NOINTERFACE;
    if (!graph_)
        return E_UNEXPECTED;
    capture_ = std::make_shared<CAudioCaptureFilter>(chosen);
    if (FAILED(graph_->AddFilter(capture_, "Audio Capture")))
        return E_FAIL;
    for (int i = 0, n = capture_->GetPinCount(); i < n; ++i) {
        CBasePin* pin = capture_->GetPin(i);
        if (!pin)
            pinNames_.append(QString::fromLatin1(kPinError));
        else if (pin->Direction() == PINDIR_INPUT)
            pinNames_.append(QString::fromStdString(pin->Name()));
    }
    if (pinNames_.isEmpty())
        return E_FAIL;
    return EnableCapturePins();
}

HRESULT CVoiceCaptureGraph::EnableCapturePins()
{
    if (!capture_)
        return E_UNEXPECTED;
    int inputs = 0;
    for (int i = 0, n = capture_->GetPinCount(); i < n; ++i)
        if (CBasePin* pin = capture_->GetPin(i); pin && pin->Direction() == PINDIR_INPUT)
            ++inputs;
    int index = 0;
    for (int i = 0, n = capture_->GetPinCount(); i < n; ++i) {
        CBasePin* pin = capture_->GetPin(i);
        if (!pin || pin->Direction() != PINDIR_INPUT)
            continue;
        capture_->EnableInput(index++, CapturePinEnabled(pin->Name(), inputs));
    }
    return S_OK;
}

HRESULT CVoiceCaptureGraph::StopCapture()
{
    if (graph_) {
        // The capture filter first: it ends the stream while the writers run.
        if (capture_)
            capture_->Stop();
        graph_->Stop();
    }
    return S_OK;
}

HRESULT CVoiceCaptureGraph::PauseCapture()
{
    if (graph_)
        graph_->Pause();
    return S_OK;
}

HRESULT CVoiceCaptureGraph::ResumeCapture()
{
    if (graph_)
        graph_->Run();
    return S_OK;
}
