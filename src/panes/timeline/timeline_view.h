// CCW_TimeLineView: one track of the timeline window (video, audio or voice).
// It owns the track's clip list (CClipTrack) for the editor's whole life, runs
// the track operations and sends the notifications that go with them: moves
// and deletions tell the main frame that the edited movie changed (0x5020,
// 0x5401); emptying the track tells the timeline window (0x5502).
//
// It draws the clips as boxes at the current zoom and scroll offset (only
// the boxes that show; each drawn box's rectangle is kept in its record for
// the mouse), selects with the mouse (Shift extends, Ctrl adds), trims a
// clip by dragging an edge of its box, reorders by dragging boxes, and offers
// the track operations in a context menu.
#pragma once

#include "config/resources.h"
#include "platform/messages.h"
#include "project/clip_track.h"
#include "project/timeline_scale.h"

#include <QBasicTimer>
#include <QPointer>
#include <QWidget>

class CBackgroundWorker;
class QMenu;

// Command identifiers of the track's context menu.
namespace TimelineCommand {
inline constexpr int Delete = 0x17F8;
inline constexpr int MoveForward = 0x17F9;
inline constexpr int MoveBackward = 0x17FA;
inline constexpr int MoveFirst = 0x17FB;
inline constexpr int MoveEnd = 0x17FC;
inline constexpr int Preview = 0x17FD;
inline constexpr int DeleteAll = 0x1810;
} // namespace TimelineCommand

class CCW_TimeLineView : public MessageWindow<QWidget> {
    Q_OBJECT
public:
    // title is the window text ("Video TimeLine", ...); track the track
    // number, which also picks the boxes' colour.
    CCW_TimeLineView(const QString& title, int track, QWidget* parent);
    ~CCW_TimeLineView() override;

    // The main frame (receiver of 0x5020, 0x5401 and 0x3063); may be null.
    void SetFrame(QObject* frame) { frame_ = frame; }
    // Menu texts and fonts.
    void SetResources(const ResourceLookup& lookup) { lookup_ = lookup; }

    const CClipTrack& track() const { return track_; }
    CClipTrack& track() { return track_; }
    int trackIndex() const { return trackIndex_; }

    // Track operations. Each repaints the track (which lays it out again).
    std::optional<std::size_t> AddClip(const CMediaFile& clip);
    bool ReplaceClip(const CMediaFile& clip);
    // True when the move went ahead (also when the clips already stood there).
    bool MoveForward() { return Move(CClipTrack::Move::Forward); }
    bool MoveBackward() { return Move(CClipTrack::Move::Backward); }
    bool MoveFirst() { return Move(CClipTrack::Move::First); }
    bool MoveEnd() { return Move(CClipTrack::Move::End); }
    // Removes the selected clips; false when none was selected.
    bool DeleteSelected();
    // Empties the track; false when it was empty.
    bool DeleteAll();
    std::size_t RemovePath(const QString& path);
    // Opens the selected clip in the source preview: it becomes the edited
    // clip and 0x5016 (this view, the clip) goes to the timeline window.
    // Without a selection the whole movie is asked for (0x5016 with target 3
    // to the timeline container). Returns the receiver's result.
    LRESULT PreviewSelected();

    // The context menu's entries for the present selection (none on an
    // empty track): each action's object name is its text key, its data the
    // command identifier.
    void FillContextMenu(QMenu& menu) const;
    // Runs a context menu command; false for an unknown one.
    bool RunCommand(int command);

    // Lays the track out again, places the boxes and schedules a repaint.
    void Repaint();
    // The clip whose box contains the point, if any.
    std::optional<std::size_t> ClipAt(QPoint point) const;

    // View state of the timeline drawing.
    const TimelineScale& scale() const { return scale_; }
    int zoomLevel() const { return scale_.zoomLevel; }
    int pixelsPerSecond() const { return scale_.pixelsPerSecond; }
    int pixelsPerQuarterMinute() const { return scale_.pixelsPerQuarterMinute; }
    int pixelsPerMinute() const { return scale_.pixelsPerMinute; }
    qint64 scrollOffset() const { return scrollOffset_; }
    bool positionShown() const { return positionShown_; }
    qint64 position() const { return position_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    enum class Drag { None, TrimLeft, TrimRight, Move };

    bool Move(CClipTrack::Move move);
    // The edited movie changed: its preview stops and resets.
    void TellMovieChanged();
    // Stores each clip's box for the present scale and scroll offset; boxes
    // that do not show get an empty rectangle.
    void PlaceBoxes();
    void StartDrag(Drag drag, int x);
    void EndMoveDrag(int dx);
    // The edge zone of the selected clip's box under x, if any.
    Drag EdgeAt(QPoint point) const;
    // Sends the clip's information line to the host's status line, after
    // the file's size was read off the UI thread.
    void SendInfoLine(const CMediaFile& clip);

    CClipTrack track_;
    int trackIndex_;
    QPointer<QObject> frame_;
    ResourceLookup lookup_;
    TimelineScale scale_;
    qint64 scrollOffset_ = 0;
    bool positionShown_ = false;
    std::int64_t position_ = 0;

    Drag drag_ = Drag::None;
    int pressX_ = 0;
    int lastX_ = 0;
    int dragDx_ = 0;
    QBasicTimer hover_; // the hover feedback's timer ("timer 100")
    QPoint hoverPoint_;
    std::unique_ptr<CBackgroundWorker> infoWorker_;
};
