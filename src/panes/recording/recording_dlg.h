// CCW_RecordingDlg: the modal, skinned dialog in which the user records a
// narration into a WAV file in the editor's work folder, listens to it, and
// keeps it (result 1) or throws it away (result 2). RecordedPath() is the
// file's full path afterwards.
//
// Controls: play 0x1801, stop 0x1802, record 0x1803, confirm 0x1804,
// cancel 0x1805 (skinned buttons), the position slider 0x1806 (0..600), the
// name edit 0x1807 ("name") and the movie view 0x1808 ("PLAYER") that plays
// the recording; its end of playback (0x415) and open results come here.
//
// Recording runs through CVoiceCaptureGraph; its clock (timer 0x17F6, every
// 10 ms) counts from the first captured sample, so text and file agree.
// Capture trouble (msg::WM_CAPTURENOTIFY) stops the recording, which leaves
// a complete file, and is passed on to the main frame. A start that fails
// leaves the dialog idle, without a message; the user can try again.
//
// The window's properties recording, paused, hasRecording, playing,
// timeText, slider, recordedPath and devices mirror its state.
#pragma once

#include "panes/pane_context.h"
#include "panes/recording/recording_clock.h"
#include "platform/hresult.h"
#include "platform/messages.h"
#include "skin/skin_base_dialog.h"

#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class CCW_VideoView;
class CSkinButton;
class CSkinSlider;
class CVoiceCaptureGraph;
class QLineEdit;

class CCW_RecordingDlg : public MessageWindow<CSkinBaseDialog> {
public:
    enum ControlId : int {
        IdPlay = 0x1801,
        IdStop = 0x1802,
        IdRecord = 0x1803,
        IdConfirm = 0x1804,
        IdCancel = 0x1805,
        IdSlider = 0x1806,
        IdName = 0x1807,
        IdView = 0x1808,
    };
    static constexpr int kRecordingClockId = 0x17F6;
    static constexpr int kRecordingClockMs = 10;
    static constexpr int kPlaybackClockId = 0x1809;
    static constexpr int kPlaybackClockMs = 500;
    static constexpr QSize kSize { 360, 212 };

    explicit CCW_RecordingDlg(const PaneContext& context, QWidget* parent = nullptr);
    ~CCW_RecordingDlg() override;

    // Set before the dialog shows; an empty name makes the default name
    // "UserVoice" + the number as two digits at recording time.
    void SetVoiceName(const QString& name);
    void SetVoiceNumber(long number) { number_ = number; }
    const QString& RecordedPath() const { return recordedPath_; }

    bool IsRecording() const { return recording_; }
    bool HasRecording() const { return recorded_; }
    bool IsPlaying() const { return playing_; }
    const QString& TimeText() const { return timeText_; }
    int SliderPos() const;
    // Monotonic milliseconds of the running recording's first sample; 0
    // before it and while not recording.
    std::int64_t FirstSampleMs() const;
    bool RecordingClockActive() const { return recordingClock_.isActive(); }
    bool PlaybackClockActive() const { return playbackClock_.isActive(); }
    // The devices the last recording chose from.
    QStringList DeviceNames() const { return deviceNames_; }
    CCW_VideoView* view() const { return view_; }
    CSkinButton* button(int id) const;

    // The file the next recording goes to (the edit's name or the default).
    QString RecordingPath() const;

    // Button actions (the buttons call them); HRESULT of the start.
    void OnPlay();
    void OnStop();
    HRESULT OnRecord();
    void OnConfirm();
    void OnCancel();

    void reject() override;

protected:
    void OnInitDialog() override;
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* e) override;

private:
    HRESULT StartRecording();
    void StopRecording();
    void PauseRecording();
    void ResumeRecording();
    void StopPlayback();
    void OnRecordingTick();
    void OnPlaybackTick();
    void OnOpened(HRESULT result);
    void SetTimeText(const QString& text);
    void SetSliderPos(int pos);
    // Mirrors the state in properties of the window, for the host's scripts.
    void PublishState();

    PaneContext context_;
    std::array<CSkinButton*, 5> buttons_ {};
    CSkinSlider* slider_ = nullptr;
    QLineEdit* name_ = nullptr;
    CCW_VideoView* view_ = nullptr;
    SkinBitmap background_;
    QString voiceName_;
    long number_ = 1;
    QString recordedPath_;
    QString timeText_ = QStringLiteral("00:00:00.0");
    QStringList deviceNames_;
    std::unique_ptr<CVoiceCaptureGraph> graph_;
    CRecordingClock clock_;
    bool recording_ = false;
    bool paused_ = false;
    bool recorded_ = false;
    bool playing_ = false;
    bool playRequested_ = false; // play once the open completes
    QTimer recordingClock_;
    QTimer playbackClock_;
};
