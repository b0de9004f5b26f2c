#include "shell/timeline_contain.h"

#include "panes/timeline/timeline_window.h"
#include "platform/hresult.h"
#include "shell/routing.h"

#include <QHBoxLayout>

CCW_TimeLineContain::CCW_TimeLineContain(QObject* frame, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , frame_(frame)
    , timeline_(new CCW_TimeLineWnd(this))
    , layout_(new QHBoxLayout(this))
{
    setObjectName("CCW_TimeLineContain");
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addWidget(timeline_, 1);
    timeline_->SetFrame(frame);
}

void CCW_TimeLineContain::AttachMediaMenu(QWidget* menu)
{
    // A menu attached again replaces the one before.
    if (mediaMenu_ && mediaMenu_ != menu)
        delete mediaMenu_.data();
    mediaMenu_ = menu;
    menu->setParent(this);
    layout_->insertWidget(0, menu);
}

void CCW_TimeLineContain::AttachEditMenu(QWidget* menu, PreviewButtonFace showPlaying)
{
    if (editMenu_ && editMenu_ != menu)
        delete editMenu_.data();
    editMenu_ = menu;
    showPlaying_ = std::move(showPlaying);
    menu->setParent(this);
    layout_->addWidget(menu);
}

void CCW_TimeLineContain::ShowPreviewPlaying(bool playing)
{
    if (editMenu_ && showPlaying_)
        showPlaying_(playing);
}

LRESULT CCW_TimeLineContain::RequestPreview(WPARAM target, LPARAM lParam)
{
    if (target == WPARAM(kWholeMovie)) {
        // The whole movie needs at least one clip.
        if (timeline_->IsEmpty()) {
            ShowPreviewPlaying(false);
            return E_FAIL;
        }
        lParam = ToLParam(static_cast<const CTimelineProject*>(timeline_));
    }
    return Forward(frame_, msg::PreviewClip, target, lParam);
}

LRESULT CCW_TimeLineContain::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::PreviewEnded:
        ShowPreviewPlaying(false);
        return SendMessage(timeline_, message, wParam, lParam);
    case msg::ClipToTimeline:
        ShowPreviewPlaying(false);
        return SendMessage(timeline_, message, wParam, lParam);
    case msg::PreviewClip:
        return RequestPreview(wParam, lParam);
    case msg::SaveToPc:
    case msg::SaveToPhone:
        // The save requests carry the project from here on.
        return Forward(frame_, message, wParam, ToLParam(static_cast<const CTimelineProject*>(timeline_)));
    case msg::PlayingState:
        if (lParam == 1)
            return SendMessage(this, msg::PreviewClip, kWholeMovie, 0);
        ShowPreviewPlaying(wParam != 0);
        return 0;
    case msg::DeleteAllClips:
    case msg::DeleteFromTrack:
    case msg::ZoomToFit:
    case msg::SetZoom:
    case msg::SetScroll:
    case msg::PositionMarker:
        return SendMessage(timeline_, message, wParam, lParam);
    case msg::TrackActivated:
        // From the timeline window: the media menu shows which track has a selection.
        return Forward(mediaMenu_, message, wParam, lParam);
    case msg::FileGone:
        ForwardToAll<QObject*>({ mediaMenu_, timeline_, editMenu_ }, message, wParam, lParam);
        return 0;
    case msg::StopPlayback:
    case msg::EffectChosen:
    case msg::ResetPreviews:
    case msg::OpenSource:
    case msg::ShowSourcePreview:
    case msg::SeekMovie:
    case msg::TrackEmptied:
    case msg::HostStatus:
    case msg::PhoneSaveCommand:
        // From the menus and the timeline: to the frame.
        return Forward(frame_, message, wParam, lParam);
    default:
        handled = false;
        return 0;
    }
}
