#include "panes/timeline/timeline_view.h"

CCW_TimeLineView::CCW_TimeLineView(const QString& title, QWidget* parent)
    : MessageWindow<QWidget>(parent)
{
    setWindowTitle(title);
    setObjectName(title);
}

void CCW_TimeLineView::Repaint()
{
    track_.Layout();
    update();
}

void CCW_TimeLineView::paintEvent(QPaintEvent*)
{
    // Every repaint lays the track out first, so timeline starts follow any
    // change of the list.
    track_.Layout();
}

std::optional<std::size_t> CCW_TimeLineView::AddClip(const CMediaFile& clip)
{
    const auto pos = track_.Add(clip);
    if (pos)
        Repaint();
    return pos;
}

bool CCW_TimeLineView::ReplaceClip(const CMediaFile& clip)
{
    const bool stored = track_.Replace(clip);
    Repaint();
    return stored;
}

bool CCW_TimeLineView::Move(CClipTrack::Move move)
{
    if (track_.MoveSelection(move) == CClipTrack::MoveResult::Refused)
        return false;
    Repaint();
    // The edited movie changed: stop and reset its preview.
    SendMessage(frame_, msg::StopPlayback, kWholeMovie, 0);
    SendMessage(frame_, msg::ResetPreviews, kWholeMovie, 0);
    return true;
}

bool CCW_TimeLineView::DeleteSelected()
{
    if (!track_.HasSelection())
        return false;
    SendMessage(frame_, msg::ResetPreviews, kWholeMovie, 0);
    const auto result = track_.DeleteSelected();
    if (result.removedEdited)
        SendMessage(frame_, msg::ResetPreviews, kVideoTrack, 0);
    Repaint();
    return result.removedAny;
}

bool CCW_TimeLineView::DeleteAll()
{
    if (!track_.DeleteAll())
        return false;
    Repaint();
    SendMessage(parent(), msg::TrackEmptied, ToWParam(this), 0);
    return true;
}

std::size_t CCW_TimeLineView::RemovePath(const QString& path)
{
    const std::size_t removed = track_.RemovePath(path);
    if (removed)
        Repaint();
    return removed;
}

LRESULT CCW_TimeLineView::PreviewSelected()
{
    const auto pos = track_.selectedPos();
    if (!pos) {
        QObject* container = parent() ? parent()->parent() : nullptr;
        return SendMessage(container, msg::PreviewClip, kWholeMovie, 0);
    }
    track_.SetEditedPos(pos);
    CMediaFile clip = track_.at(*pos);
    return SendMessage(parent(), msg::PreviewClip, ToWParam(this), ToLParam(&clip));
}

void CCW_TimeLineView::SetZoom(LPARAM z)
{
    if (z < 2)
        return;
    if (z < 20) {
        zoomLevel_ = 2;
        pixelsPerMinute_ = int(z);
    } else if (z < 40) {
        zoomLevel_ = 1;
        pixelsPerQuarterMinute_ = int(z - 6);
    } else {
        zoomLevel_ = 0;
        pixelsPerSecond_ = int(z - 34);
    }
    Repaint();
}

LRESULT CCW_TimeLineView::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::FileGone:
        if (const auto* path = FromParam<const QString>(lParam))
            RemovePath(*path);
        return 0;
    case msg::SetZoom:
        SetZoom(lParam);
        return 0;
    case msg::SetScroll:
        scrollOffset_ = lParam;
        update();
        return 0;
    case msg::SeekMovie:
        positionShown_ = true;
        if (lParam >= 0)
            position_ = lParam;
        update();
        return 0;
    case msg::PositionMarker:
        positionShown_ = wParam != 0;
        if (positionShown_ && lParam >= 0)
            position_ = lParam;
        update();
        return 0;
    default:
        handled = false;
        return 0;
    }
}
