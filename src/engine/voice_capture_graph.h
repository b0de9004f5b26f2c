// CVoiceCaptureGraph: records the first audio input device into a WAV file:
// "Audio Capture" (CAudioCaptureFilter) -> "WAV Dest" (CWavDestFilter) ->
// "File Writer" (CFileWriterFilter in overwrite mode). No capture format is
// set: the file carries the device's own rate and channels.
//
// Two string lists stand for the hidden list boxes: the audio input
// devices (each with its device as item data; "<< No entries >>" without
// data when there is none) and the chosen device's input pins.
//
// StartCapture returns once the graph runs; the device starts on the
// capture filter's own thread. A device error, the loss of the device, a
// device silent for 2 s, a failed write and the RIFF size limit post
// msg::WM_CAPTURENOTIFY (lParam 0) to the notify target; the owner then
// calls StopCapture, which leaves a complete WAV file.
#pragma once

#include "engine/audio_capture_filter.h"
#include "platform/media/filter_graph.h"

#include <QAudioDevice>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class CFileWriterFilter;
class CWavDestFilter;
class QObject;
class QTimer;

class CVoiceCaptureGraph {
public:
    static constexpr const char* kNoEntries = "<< No entries >>";
    static constexpr const char* kPinError = "<ERROR>";

    // notifyTarget receives msg::WM_CAPTURENOTIFY.
    explicit CVoiceCaptureGraph(QObject* notifyTarget = nullptr);
    ~CVoiceCaptureGraph();
    CVoiceCaptureGraph(const CVoiceCaptureGraph&) = delete;
    CVoiceCaptureGraph& operator=(const CVoiceCaptureGraph&) = delete;

    // Builds and runs the graph writing to path: 0, E_NOINTERFACE without an
    // input device, E_INVALIDARG for an empty path, or the failing step's
    // code (the file cannot be opened: E_FAIL). A failure releases the graph.
    HRESULT StartCapture(const QString& outputPath);
    // Each returns 0; they do nothing without a graph.
    HRESULT StopCapture();
    HRESULT PauseCapture();
    HRESULT ResumeCapture();

    // Fills the device list, selects entry 0, adds its filter as "Audio
    // Capture", lists its pins and enables them (step 5 of StartCapture).
    HRESULT SelectCaptureDevice();
    HRESULT EnableCapturePins();

    const QStringList& DeviceNames() const { return deviceNames_; }
    const QStringList& PinNames() const { return pinNames_; }
    const QString& OutputPath() const { return outputPath_; }
    bool IsRunning() const;
    // Monotonic milliseconds of the first sample written; 0 before it.
    std::int64_t FirstSampleMs() const;
    // The format the recording is written in (valid once a device is chosen).
    QAudioFormat CaptureFormat() const;
    CFilterGraph* Graph() const { return graph_.get(); }

private:
    void release();

    QPointer<QObject> notify_;
    QStringList deviceNames_;
    std::vector<QAudioDevice> devices_; // item data of deviceNames_
    QStringList pinNames_;
    QString outputPath_;
    std::unique_ptr<CFilterGraph> graph_;
    std::shared_ptr<CAudioCaptureFilter> capture_;
    std::shared_ptr<CWavDestFilter> wavDest_;
    std::shared_ptr<CFileWriterFilter> writer_;
    std::unique_ptr<QTimer> devicesWatch_; // while a capture runs
};
