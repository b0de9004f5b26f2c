#include "shell/main_frame.h"

#include <QPointer>
#include <QResizeEvent>
#include <QTimerEvent>

CCW_MainFrameWnd::CCW_MainFrameWnd(CCW_MainFrame& frame, QWidget* parent)
    : CSplitterBase(Qt::Vertical, parent)
    , frame_(frame)
{
    setObjectName("CCW_MainFrame");
}

CCW_MainFrameWnd::~CCW_MainFrameWnd()
{
    // The panes go first; then the frame empties the work folder.
    // (A pane's bar goes with it, hence the guarded pointers.)
    QList<QPointer<QWidget>> children;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        children << child;
    for (const auto& child : children)
        delete child.data();
    frame_.OnWindowDestroyed();
}

LRESULT CCW_MainFrameWnd::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    return frame_.OnMessage(message, wParam, lParam, handled);
}

void CCW_MainFrameWnd::resizeEvent(QResizeEvent* event)
{
    CSplitterBase::resizeEvent(event);
    frame_.ApplyRowSizes();
}

void CCW_MainFrameWnd::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == frame_.pollTimer_.timerId())
        frame_.OnHostPoll();
    CSplitterBase::timerEvent(event);
}
