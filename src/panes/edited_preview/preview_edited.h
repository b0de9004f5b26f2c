// CCW_PreviewEdited: the pane in which the user watches the edited movie (the
// three tracks as one timeline, played through the colour effect) and from
// which it is saved.
//
// Playback: 0x5016 loads the project into the movie view's timeline and
// opens it on the view's worker; the pictures attach on the UI thread when
// the open is done, and the movie plays. The toggle (0x17F1) plays and
// pauses, the stop button (0x17F0) stops and rewinds; timer 1 shows the
// position every 500 ms (0x5354 to the main frame) and turns the two-frame
// animation. The position slider seeks, the volume slider sets the sound
// level in hundredths of a decibel.
//
// Saving: 0x5031 asks for a file name with the phone model's type and runs
// the save job on a background worker beside the progress dialog; the job
// renders the view's own timelines and shows no message itself: what it
// would show is shown here after the dialog has closed, then the result.
// 0x5032 renders the movie on the worker behind a progress dialog and hands
// the AVI to the host's comm library.
#pragma once

#include "panes/pane_context.h"
#include "platform/messages.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_frame.h"

#include <QBasicTimer>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CBackgroundWorker;
class CCW_VideoView;
class CGlobalWorkDlg;
class CSaveJob;
class CSkinButton;
class CSkinSlider;
class CTimelineProject;
struct SaveEnvironment;

class CCW_PreviewEdited : public MessageWindow<QWidget> {
public:
    static constexpr int kToggleId = 0x17F1;
    static constexpr int kStopId = 0x17F0;
    static constexpr int kVolumeSliderId = 0x17F2;
    static constexpr int kPositionSliderId = 0x17F3;
    // The source preview's volume slider, whose moves this pane follows.
    static constexpr int kSourceVolumeSliderId = 6307;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 500;
    static constexpr QSize kAnimationSize { 54, 16 };
    static constexpr QPoint kAnimationInset { 60, 25 }; // from the bottom-right corner
    static constexpr int kVolumeMax = 100;
    // How long DestroyBtn waits for a cancelled save.
    static constexpr int kAbortWaitMs = 20000;

    // The phases a save passes through, for the script's state.
    enum class SavePhase { Idle, Analysing, Extracting, Saving, Done };

    CCW_PreviewEdited(const PaneContext& context, QWidget* parent = nullptr);
    ~CCW_PreviewEdited() override;

    CCW_VideoView* view() const { return view_; }
    CSkinButton* toggleButton() const { return toggle_; }
    CSkinButton* stopButton() const { return stop_; }
    CSkinSlider* volumeSlider() const { return volume_; }
    CSkinSlider* positionSlider() const { return position_; }
    QString label() const { return label_; }
    int animationFrame() const { return animationFrame_; }
    long attenuation() const { return attenuation_; }
    bool movieLoaded() const { return loaded_; }
    QRect animationRect() const;

    // The save running (or the last one), for the script.
    SavePhase savePhase() const { return SavePhase(phase_->load()); }
    bool isSaving() const { return saving_; }
    // The progress dialog while a save runs, else null.
    CGlobalWorkDlg* saveDialog() const;

    // Cancels a save under way and waits for its job, pumping events, at
    // most timeoutMs. True when no job runs any more.
    bool AbortSave(int timeoutMs = kAbortWaitMs);

    // The attenuation for a volume slider position (hundredths of a dB).
    static long AttenuationFor(int position, int volumeMax);

    // The pane's state for the host's script mode: section "edited" (graph
    // state, position, label, animation frame, effect, attenuation) or
    // "save" (phase, total, current, results). The host, which has its own
    // copy of these classes, reaches it through the pane's property
    // kStateProperty: the address of this function.
    using StateFunction = QJsonObject (*)(const QObject* pane, const QString& section);
    static constexpr const char* kStateProperty = "cwStateSection";
    static QJsonObject StateOf(const QObject* pane, const QString& section);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    // Playback.
    LRESULT PreviewWholeMovie(const CTimelineProject* project);
    bool LoadProject(const CTimelineProject& project);
    void OnMovieOpened(long result);
    void PlayPause();
    void StopMovie();
    void ResetMovie();
    void OnPlaybackFinished();
    void OnSlider(WPARAM id, LPARAM pos);
    void SeekTo(std::int64_t ms);
    void ShowPosition(std::int64_t ms);
    void ApplyVolume();
    void AdvanceAnimation();
    void LayOut();
    void ShowMessage(const QString& section, const QString& key, bool selfClosing, const QString& title = QString());
    QString Text(const QString& section, const QString& key) const;

    // Saving.
    LRESULT SaveToPc(const CTimelineProject* project);
    void RunPcSave(const CTimelineProject* project);
    LRESULT SendThroughHost(const CTimelineProject* project);
    // Runs job on the save worker beside a progress dialog with the given
    // title and lines; false when the pane went meanwhile.
    bool RunBesideDialog(const QString& titleSection, const QString& line0, const QString& line1,
        std::function<void()> job, std::shared_ptr<std::atomic<bool>> ended);
    void WaitFor(const std::shared_ptr<std::atomic<bool>>& ended, int timeoutMs);
    SaveEnvironment Environment();

    PaneContext context_;
    CCW_VideoView* view_ = nullptr;
    CSkinButton* toggle_ = nullptr;
    CSkinButton* stop_ = nullptr;
    CSkinSlider* volume_ = nullptr;
    CSkinSlider* position_ = nullptr;
    QBasicTimer timer_;
    bool loaded_ = false;
    bool opening_ = false;
    QString label_ = QStringLiteral("00:00:00");
    int animationFrame_ = 1;
    long attenuation_ = 0;
    std::shared_ptr<CBackgroundWorker> worker_;
    bool saving_ = false;
    std::shared_ptr<std::atomic<int>> phase_ = std::make_shared<std::atomic<int>>(0);
    bool playing_ = false; // between starting to play and pausing, stopping or the end
    bool sourceBusy_ = false; // 0x5033: the source preview converts a file
    SkinFrame frame_;
    SkinBitmap animation_[2];
    SkinBitmap volumeIcon_;
    std::shared_ptr<std::atomic<bool>> jobEnded_;
    QPointer<CGlobalWorkDlg> dialog_;
};
