#include "shell/preview_contain.h"

#include "project/media_file.h"
#include "shell/routing.h"

#include <QStackedLayout>
#include <algorithm>

CCW_PreviewContain::CCW_PreviewContain(QObject* frame, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , frame_(frame)
    , stack_(new QStackedLayout(this))
{
    setObjectName("CCW_PreviewContain");
    stack_->setContentsMargins(0, 0, 0, 0);
}

void CCW_PreviewContain::AttachSourcePreview(QWidget* preview)
{
    source_ = preview;
    stack_->insertWidget(0, preview);
    stack_->setCurrentWidget(preview);
}

void CCW_PreviewContain::AttachEditedPreview(QWidget* preview)
{
    edited_ = preview;
    stack_->addWidget(preview);
    if (!source_)
        stack_->setCurrentWidget(preview);
}

QWidget* CCW_PreviewContain::frontPreview() const
{
    return stack_->currentWidget();
}

QWidget* CCW_PreviewContain::ByTarget(WPARAM target) const
{
    return target == WPARAM(kWholeMovie) ? edited_.data() : source_.data();
}

QWidget* CCW_PreviewContain::OwnerOf(WPARAM view) const
{
    // The address is only compared, never followed: a view that has gone
    // matches no preview.
    for (QWidget* preview : { source_.data(), edited_.data() }) {
        if (!preview)
            continue;
        const auto children = preview->findChildren<QObject*>();
        if (std::find(children.begin(), children.end(), reinterpret_cast<QObject*>(view)) != children.end())
            return preview;
    }
    return nullptr;
}

void CCW_PreviewContain::BringToFront(QWidget* preview)
{
    if (!preview)
        return;
    stack_->setCurrentWidget(preview);
    preview->raise();
    stack_->activate();
}

LRESULT CCW_PreviewContain::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::OpenSource:
        BringToFront(source_);
        return Forward(source_, message, wParam, lParam);
    case msg::PreviewClip: {
        QWidget* receiver = ByTarget(wParam);
        BringToFront(receiver);
        return Forward(receiver, message, wParam, lParam);
    }
    case msg::StopPlayback:
    case msg::ResetPreviews:
        return Forward(ByTarget(wParam), message, wParam, lParam);
    case msg::SaveToPc:
    case msg::SaveToPhone:
    case msg::SourceBusy:
    case msg::EffectChosen:
    case msg::SeekMovie:
        return Forward(edited_, message, wParam, lParam);
    case msg::FilesDropped:
        // A file dropped on the preview opens in the source preview.
        BringToFront(source_);
        return Forward(source_, msg::OpenSource, wParam, lParam);
    case msg::ShowSourcePreview:
        if (!source_)
            return 1;
        BringToFront(source_);
        return 0;
    case msg::FileGone:
        ForwardToAll({ source_, edited_ }, message, wParam, lParam);
        return 0;
    case msg::TrackEmptied:
        return Forward(source_, message, wParam, lParam);
    case msg::PlaybackFinished:
        return Forward(OwnerOf(wParam), message, wParam, lParam);
    case msg::SliderMoved:
        // The source preview's volume: the edited-movie preview follows.
        return Forward(edited_, message, wParam, lParam);
    case msg::ClipToTimeline:
    case msg::PlayingState:
    case msg::PositionMarker:
    case msg::HostStatus:
        // From the previews: to the frame.
        return Forward(frame_, message, wParam, lParam);
    default:
        handled = false;
        return 0;
    }
}
