// CCW_TimeLineContain: the lower pane. It holds the media menu
// (CCW_MediaMenuWnd) at the left, the timeline window (CCW_TimeLineWnd) and
// the edit menu (CCW_EditMenuWnd) at the right. It passes the frame's and the
// menus' messages to the timeline window, hands the project to the save and
// whole-movie preview requests on their way to the frame, and keeps the edit
// menu's preview button in step with playback.
#pragma once

#include "platform/messages.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class CCW_TimeLineWnd;
class QHBoxLayout;

class CCW_TimeLineContain : public MessageWindow<QWidget> {
public:
    // Shows the edit menu's preview button as playing (stop face) or not
    // (preview face).
    using PreviewButtonFace = std::function<void(bool playing)>;

    // frame receives what goes up (saves, previews, stops, resets, seeks).
    CCW_TimeLineContain(QObject* frame, QWidget* parent);

    CCW_TimeLineWnd* timeline() const { return timeline_; }

    // Where the menus plug in (ownership passes; a menu attached before is
    // deleted).
    void AttachMediaMenu(QWidget* menu);
    void AttachEditMenu(QWidget* menu, PreviewButtonFace showPlaying);
    QWidget* mediaMenu() const { return mediaMenu_; }
    QWidget* editMenu() const { return editMenu_; }

    // The main frame, for panes that send to it directly (0x5501 and the
    // messages whose number also travels down through this container).
    QObject* frame() const { return frame_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void ShowPreviewPlaying(bool playing);
    LRESULT RequestPreview(WPARAM target, LPARAM lParam);

    QPointer<QObject> frame_;
    CCW_TimeLineWnd* timeline_;
    QPointer<QWidget> mediaMenu_;
    QPointer<QWidget> editMenu_;
    PreviewButtonFace showPlaying_;
    QHBoxLayout* layout_;
};
