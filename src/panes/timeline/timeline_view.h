// CCW_TimeLineView: one track of the timeline window (video, audio or voice).
// It owns the track's clip list (CClipTrack) for the editor's whole life, runs
// the track operations and sends the notifications that go with them: moves
// and deletions tell the main frame that the edited movie changed (0x5020,
// 0x5401); emptying the track tells the timeline window (0x5502).
//
// The drawing of clip boxes, the mouse and the context menu come with the
// timeline drawing; the zoom, scroll and marker fields are kept here already.
#pragma once

#include "platform/messages.h"
#include "project/clip_track.h"

#include <QPointer>
#include <QWidget>

class CCW_TimeLineView : public MessageWindow<QWidget> {
public:
    // title is the window text ("Video TimeLine", ...).
    CCW_TimeLineView(const QString& title, QWidget* parent);

    // The main frame (receiver of 0x5020 and 0x5401); may be null.
    void SetFrame(QObject* frame) { frame_ = frame; }

    const CClipTrack& track() const { return track_; }
    CClipTrack& track() { return track_; }

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

    // Lays the track out again and schedules a repaint.
    void Repaint();

    // View state of the timeline drawing.
    int zoomLevel() const { return zoomLevel_; }
    int pixelsPerSecond() const { return pixelsPerSecond_; }
    int pixelsPerQuarterMinute() const { return pixelsPerQuarterMinute_; }
    int pixelsPerMinute() const { return pixelsPerMinute_; }
    qint64 scrollOffset() const { return scrollOffset_; }
    bool positionShown() const { return positionShown_; }
    qint64 position() const { return position_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool Move(CClipTrack::Move move);
    void SetZoom(LPARAM zoom);

    CClipTrack track_;
    QPointer<QObject> frame_;
    int zoomLevel_ = 0; // 0 seconds, 1 quarter minutes, 2 minutes
    int pixelsPerSecond_ = 4;
    int pixelsPerQuarterMinute_ = 60;
    int pixelsPerMinute_ = 240;
    qint64 scrollOffset_ = 0;
    bool positionShown_ = false;
    qint64 position_ = 0;
};
