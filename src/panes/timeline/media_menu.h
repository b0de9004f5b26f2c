// CCW_MediaMenuWnd: the bar at the left of the timeline with the per-track
// buttons: delete on each track (the selected clip, or the whole track when
// none is selected), open a sound file for the audio track, open or record a
// voice file for the voice track. An opened file's length is read by the
// media-probe service off the UI thread; the clip then goes to the timeline
// container (0x5017). The delete buttons' tooltips follow which track holds
// a selection (0x5364).
#pragma once

#include "panes/pane_context.h"
#include "platform/messages.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_frame.h"

#include <QWidget>

#include <array>
#include <functional>

class CSkinButton;
class QDialog;

class CCW_MediaMenuWnd : public MessageWindow<QWidget> {
    Q_OBJECT
public:
    // Command identifiers of the buttons.
    static constexpr int kVideoDelete = 0x17D5;
    static constexpr int kAudioOpen = 0x17D6;
    static constexpr int kVoiceRecord = 0x17D8;
    static constexpr int kVoiceOpen = 0x17DA;
    static constexpr int kAudioDelete = 0x17F3;
    static constexpr int kVoiceDelete = 0x17FE;

    // Makes the voice-recording dialog for a suggested file name; after it
    // ends with 1 its property "recordedPath" names the recorded file.
    using RecordingDialogFactory = std::function<QDialog*(QWidget* parent, const QString& suggestedName)>;

    CCW_MediaMenuWnd(const PaneContext& context, QWidget* parent = nullptr);

    // Where the recording dialog comes from; without one a recording is
    // answered as cancelled.
    void SetRecordingDialogFactory(RecordingDialogFactory factory) { recordingDialog_ = std::move(factory); }

    CSkinButton* button(const QString& text) const;
    int voiceCounter() const { return voiceCounter_; }
    bool trackHasSelection(int track) const { return selection_.at(track); }
    // The tooltip a button shows now.
    QString toolTipOf(int command) const;
    // True while an opened file's length is being read.
    bool HasPendingOpen() const { return pendingOpens_ > 0; }

    // What the buttons do.
    void RunCommand(int command);

    QSize sizeHint() const override;

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OpenFile(int kind);
    void Record();
    // Reads the file's length off the UI thread, then sends the clip.
    void MakeClip(const QString& path, int kind);
    void SendClip(const QString& path, int kind, std::uint32_t lengthMs);
    void UpdateToolTips();
    void PlaceButtons();

    PaneContext context_;
    std::vector<CSkinButton*> buttons_;
    SkinBitmap background_;
    SkinFrame frame_;
    QFont font_;
    std::array<bool, 3> selection_ { false, false, false };
    int voiceCounter_ = 1;
    int pendingOpens_ = 0;
    RecordingDialogFactory recordingDialog_;
};
