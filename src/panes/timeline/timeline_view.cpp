#include "panes/timeline/timeline_view.h"

#include "platform/background_worker.h"
#include "project/clip_text.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Boxes are 34 pixels high, centred on the track.
constexpr int kBoxHalfHeight = 17;
constexpr int kBoxHeight = 34;
// Edge zones of a box for trimming, and the narrowest box that has them.
constexpr int kEdgeZone = 10;
constexpr int kMinTrimmableWidth = 20;
constexpr int kHoverDelayMs = 50;
// Stored rectangles stay this far around the view, so that an edge outside
// the view never turns up inside it.
constexpr qint64 kRectMargin = 32768;

struct TrackColours {
    QColor fill;
    QColor selected;
};
constexpr std::array<TrackColours, kTrackCount> kColours { {
    { QColor(77, 121, 186), QColor(121, 170, 236) },
    { QColor(74, 150, 98), QColor(118, 204, 140) },
    { QColor(196, 126, 58), QColor(240, 172, 100) },
} };
const QColor kBackground(226, 232, 240);
const QColor kText(255, 255, 255);
const QColor kMarker(214, 40, 40);

std::int32_t ClampToRect(qint64 x, int width)
{
    return std::int32_t(std::clamp<qint64>(x, -kRectMargin, width + kRectMargin));
}

} // namespace

CCW_TimeLineView::CCW_TimeLineView(const QString& title, int track, QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , trackIndex_(std::clamp(track, 0, kTrackCount - 1))
{
    setWindowTitle(title);
    setObjectName(title);
    setMouseTracking(true);
}

CCW_TimeLineView::~CCW_TimeLineView() = default;

void CCW_TimeLineView::Repaint()
{
    track_.Layout();
    PlaceBoxes();
    update();
}

void CCW_TimeLineView::PlaceBoxes()
{
    const int top = height() / 2 - kBoxHalfHeight;
    const int w = width();
    for (std::size_t i = 0; i < track_.size(); ++i) {
        CMediaFile& clip = track_.at(i);
        const ClipSpan span = SpanOf(scale_, clip.timelineStart(), clip.length());
        const qint64 left = span.x - scrollOffset_;
        const qint64 right = left + span.width;
        if (right < 0 || left > w) {
            clip.SetRect(MediaRect {});
            continue;
        }
        clip.SetRect(ClampToRect(left, w), top, ClampToRect(right, w), top + kBoxHeight);
    }
}

void CCW_TimeLineView::resizeEvent(QResizeEvent* event)
{
    MessageWindow<QWidget>::resizeEvent(event);
    PlaceBoxes();
}

void CCW_TimeLineView::paintEvent(QPaintEvent*)
{
    // Every repaint lays the track out first, so timeline starts follow any
    // change of the list.
    track_.Layout();
    PlaceBoxes();
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const TrackColours& colours = kColours[trackIndex_];
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    for (std::size_t i = 0; i < track_.size(); ++i) {
        const CMediaFile& clip = track_.at(i);
        const MediaRect& r = clip.rect();
        if (r.isEmpty())
            continue;
        QRect box(r.left, r.top, r.width(), r.height());
        if (drag_ == Drag::Move && clip.IsSelected())
            box.translate(dragDx_, 0);
        p.fillRect(box, clip.IsSelected() ? colours.selected : colours.fill);
        p.setPen(clip.IsSelected() ? Qt::white : colours.fill.darker(140));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        // The text stays inside the visible part of the box.
        const QRect text = box.intersected(rect()).adjusted(4, 2, -4, -2);
        if (text.width() > 8) {
            p.setPen(kText);
            p.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, clip.name());
            p.drawText(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, DurationText(clip.length()));
        }
    }
    if (positionShown_) {
        const qint64 x = scale_.ToPixels(position_) - scrollOffset_;
        if (x >= 0 && x < width()) {
            p.setPen(kMarker);
            p.drawLine(int(x), 0, int(x), height());
        }
    }
}

std::optional<std::size_t> CCW_TimeLineView::ClipAt(QPoint point) const
{
    for (std::size_t i = 0; i < track_.size(); ++i) {
        if (track_.at(i).rect().contains(point.x(), point.y()))
            return i;
    }
    return std::nullopt;
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

void CCW_TimeLineView::TellMovieChanged()
{
    SendMessage(frame_, msg::StopPlayback, kWholeMovie, 0);
    SendMessage(frame_, msg::ResetPreviews, kWholeMovie, 0);
}

bool CCW_TimeLineView::Move(CClipTrack::Move move)
{
    if (track_.MoveSelection(move) == CClipTrack::MoveResult::Refused)
        return false;
    Repaint();
    TellMovieChanged();
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

void CCW_TimeLineView::FillContextMenu(QMenu& menu) const
{
    if (track_.empty())
        return;
    auto add = [&](const char* key, int command) {
        QString text = lookup_.GetResourceText("CW_TIMELINE_CONTEXT_MENU", key);
        QAction* action = menu.addAction(text.isEmpty() ? QString::fromLatin1(key) : text);
        action->setObjectName(QString::fromLatin1(key));
        action->setData(command);
    };
    add("PREVIEW", TimelineCommand::Preview);
    menu.addSeparator();
    if (track_.HasSelection()) {
        add("MOVE_FORWARD", TimelineCommand::MoveForward);
        add("MOVE_BACKWARD", TimelineCommand::MoveBackward);
        add("MOVE_FIRST", TimelineCommand::MoveFirst);
        add("MOVE_END", TimelineCommand::MoveEnd);
        menu.addSeparator();
        add("DELETE", TimelineCommand::Delete);
    } else {
        add("DELETE_ALL", TimelineCommand::DeleteAll);
    }
}

bool CCW_TimeLineView::RunCommand(int command)
{
    if (track_.empty())
        return false;
    switch (command) {
    case TimelineCommand::Preview:
        PreviewSelected();
        return true;
    case TimelineCommand::MoveForward:
        return MoveForward();
    case TimelineCommand::MoveBackward:
        return MoveBackward();
    case TimelineCommand::MoveFirst:
        return MoveFirst();
    case TimelineCommand::MoveEnd:
        return MoveEnd();
    case TimelineCommand::Delete:
        return DeleteSelected();
    case TimelineCommand::DeleteAll:
        return DeleteAll();
    default:
        return false;
    }
}

void CCW_TimeLineView::contextMenuEvent(QContextMenuEvent* event)
{
    if (track_.empty())
        return;
    QMenu menu(this);
    FillContextMenu(menu);
    if (QAction* chosen = menu.exec(event->globalPos()))
        RunCommand(chosen->data().toInt());
}

void CCW_TimeLineView::SendInfoLine(const CMediaFile& clip)
{
    if (!infoWorker_)
        infoWorker_ = std::make_unique<CBackgroundWorker>(QStringLiteral("timeline-info"));
    const QString path = clip.path();
    infoWorker_->Post<qint64>(
        this, QStringLiteral("info"), [path](const CBackgroundWorker::CancelFlag&) { return QFileInfo(path).size(); },
        [this, clip](qint64 bytes) {
            QString file = clip.path();
            QString line = ClipInfoLine(clip, bytes);
            SendMessage(frame_, msg::HostStatus, ToWParam(&file), ToLParam(&line));
        });
}

CCW_TimeLineView::Drag CCW_TimeLineView::EdgeAt(QPoint point) const
{
    const auto pos = track_.selectedPos();
    if (!pos)
        return Drag::None;
    const MediaRect& r = track_.at(*pos).rect();
    if (!r.contains(point.x(), point.y()) || r.width() <= kMinTrimmableWidth)
        return Drag::None;
    if (point.x() < r.left + kEdgeZone)
        return Drag::TrimLeft;
    if (point.x() >= r.right - kEdgeZone)
        return Drag::TrimRight;
    return Drag::None;
}

void CCW_TimeLineView::StartDrag(Drag drag, int x)
{
    drag_ = drag;
    pressX_ = lastX_ = x;
    dragDx_ = 0;
    setCursor(drag == Drag::Move ? Qt::ClosedHandCursor : Qt::SizeHorCursor);
}

void CCW_TimeLineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || drag_ != Drag::None)
        return;
    hover_.stop();
    // Keys go to the timeline window, which acts on the active track.
    if (parentWidget())
        parentWidget()->setFocus(Qt::MouseFocusReason);
    const QPoint point = event->position().toPoint();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto hit = ClipAt(point);
    const auto selected = track_.selectedPos();
    if (shift && selected && hit) {
        // The clicked clip and everything up to the selected one.
        if (!ctrl) {
            for (std::size_t i = 0; i < track_.size(); ++i)
                track_.at(i).SetSelected(false);
        }
        const std::size_t from = std::min(*selected, *hit);
        const std::size_t to = std::max(*selected, *hit);
        for (std::size_t i = from; i <= to; ++i)
            track_.at(i).SetSelected(true);
        SendMessage(parent(), msg::TrackActivated, *selected, ToLParam(this));
        StartDrag(Drag::Move, point.x());
        update();
        return;
    }
    if (!ctrl)
        track_.ClearSelection();
    if (hit) {
        CMediaFile& clip = track_.at(*hit);
        clip.SetSelected(true);
        track_.SetSelectedPos(hit);
        SendInfoLine(clip);
        SendMessage(parent(), msg::TrackActivated, *hit, ToLParam(this));
        const Drag edge = EdgeAt(point);
        StartDrag(edge == Drag::None ? Drag::Move : edge, point.x());
    }
    if (!track_.HasSelection())
        SendMessage(parent(), msg::TrackActivated, 0, ToLParam(this));
    update();
}

void CCW_TimeLineView::mouseMoveEvent(QMouseEvent* event)
{
    const int x = event->position().toPoint().x();
    switch (drag_) {
    case Drag::None:
        hoverPoint_ = event->position().toPoint();
        hover_.start(kHoverDelayMs, this);
        return;
    case Drag::Move:
        dragDx_ = x - pressX_;
        update();
        return;
    case Drag::TrimLeft:
    case Drag::TrimRight: {
        const int dx = x - lastX_;
        const auto pos = track_.selectedPos();
        if (dx == 0 || !pos)
            return;
        lastX_ = x;
        track_.TrimClip(*pos, drag_ == Drag::TrimLeft, qint64(dx) * scale_.msPerPixel());
        Repaint();
        return;
    }
    }
}

void CCW_TimeLineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || drag_ == Drag::None)
        return;
    const Drag ended = drag_;
    drag_ = Drag::None;
    unsetCursor();
    const int dx = event->position().toPoint().x() - pressX_;
    dragDx_ = 0;
    if (ended == Drag::Move)
        EndMoveDrag(dx);
    update();
}

void CCW_TimeLineView::EndMoveDrag(int dx)
{
    if (dx == 0 || !track_.HasSelection())
        return;
    std::size_t first = 0;
    while (!track_.at(first).IsSelected())
        ++first;
    const MediaRect& r = track_.at(first).rect();
    const QPoint corner(r.left + dx, r.top);
    auto target = ClipAt(corner);
    if (target == first)
        return;
    if (target && track_.at(*target).IsSelected()) {
        // The nearest clip before it that stays where it is.
        std::optional<std::size_t> before;
        for (std::size_t i = *target; i-- > 0;) {
            if (!track_.at(i).IsSelected()) {
                before = i;
                break;
            }
        }
        target = before;
    }
    if (!target) {
        if (qint64(corner.x()) + scrollOffset_ < 0)
            MoveFirst();
        else if (!track_.at(track_.size() - 1).IsSelected())
            MoveEnd();
        return;
    }
    if (track_.MoveSelectionAfter(*target) == CClipTrack::MoveResult::Refused)
        return;
    Repaint();
    TellMovieChanged();
}

void CCW_TimeLineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const auto hit = ClipAt(event->position().toPoint());
    if (!hit)
        return;
    drag_ = Drag::None;
    unsetCursor();
    track_.ClearSelection();
    track_.at(*hit).SetSelected(true);
    track_.SetSelectedPos(hit);
    PreviewSelected();
    update();
}

void CCW_TimeLineView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != hover_.timerId()) {
        MessageWindow<QWidget>::timerEvent(event);
        return;
    }
    hover_.stop();
    if (drag_ != Drag::None)
        return;
    if (EdgeAt(hoverPoint_) != Drag::None)
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

LRESULT CCW_TimeLineView::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::FileGone:
        if (const auto* path = FromParam<const QString>(lParam))
            RemovePath(*path);
        return 0;
    case msg::SetZoom:
        if (scale_.SetZoom(lParam))
            Repaint();
        return 0;
    case msg::SetScroll:
        scrollOffset_ = lParam;
        PlaceBoxes();
        update();
        return 0;
    case msg::SeekMovie:
    case msg::PositionMarker:
        FollowMarker(message, wParam, lParam, positionShown_, position_);
        update();
        return 0;
    default:
        handled = false;
        return 0;
    }
}
