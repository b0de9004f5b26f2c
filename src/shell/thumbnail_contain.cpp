#include "shell/thumbnail_contain.h"

#include "shell/routing.h"

#include <QVBoxLayout>

CCW_ThumbnailContain::CCW_ThumbnailContain(QObject* frame, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , frame_(frame)
    , layout_(new QVBoxLayout(this))
{
    setObjectName("CCW_ThumbnailContain");
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

void CCW_ThumbnailContain::AttachToolBar(QWidget* toolBar)
{
    toolBar_ = toolBar;
    toolBar->setParent(this);
    layout_->insertWidget(0, toolBar);
}

void CCW_ThumbnailContain::AttachMediaList(QWidget* mediaList)
{
    mediaList_ = mediaList;
    mediaList->setParent(this);
    layout_->addWidget(mediaList, 1);
}

LRESULT CCW_ThumbnailContain::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::AddMovieList:
    case msg::HostAddFiles:
    case msg::ListCommandFirst:
    case msg::ListCommand2:
    case msg::ListDeleteSelected:
    case msg::ListSetViewMode:
    case msg::ListAddHostFile:
    case msg::ListAddPicked:
    case msg::ListCount:
        return Forward(mediaList_, message, wParam, lParam);
    case msg::HostAddBrowserFile:
        // Both values name the file; a zero one is refused.
        if (!wParam || !lParam)
            return 1;
        return Forward(mediaList_, message, wParam, lParam);
    case msg::ListAddFile:
        // A file without a path or an owner is refused.
        if (!wParam || !lParam)
            return 1;
        return Forward(mediaList_, message, wParam, lParam);
    case msg::FileGone:
        ForwardToAll({ toolBar_, mediaList_ }, message, wParam, lParam);
        return 0;
    case msg::OpenSource:
    case msg::HostStatus:
    case msg::StopPlayback:
    case msg::ResetPreviews:
        // From the media list and the toolbar: to the frame.
        return Forward(frame_, message, wParam, lParam);
    default:
        handled = false;
        return 0;
    }
}
