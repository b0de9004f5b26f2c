// CCW_ThumbnailContain: the upper left pane. It holds the toolbar
// (CCW_ToolBarWnd) above the media list (CCW_ThumbnailWnd) and passes the
// media-list messages from the host, the frame and the toolbar to the list.
// Until a pane is attached, a message for it returns 1 and changes nothing.
#pragma once

#include "platform/messages.h"

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

class CCW_ThumbnailContain : public MessageWindow<QWidget> {
public:
    // frame receives what the panes send upwards (0x5011, 0x3063).
    CCW_ThumbnailContain(QObject* frame, QWidget* parent);

    // Where the toolbar and the media list plug in (ownership passes).
    void AttachToolBar(QWidget* toolBar);
    void AttachMediaList(QWidget* mediaList);
    QWidget* toolBar() const { return toolBar_; }
    QWidget* mediaList() const { return mediaList_; }

    // The main frame, for panes that send to it directly (0x5501 and the
    // messages whose number also travels down through this container).
    QObject* frame() const { return frame_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    QPointer<QObject> frame_;
    QPointer<QWidget> toolBar_;
    QPointer<QWidget> mediaList_;
    QVBoxLayout* layout_;
};
