// CCW_TimeLineRuler: the time ruler above the three tracks. It follows the
// same zoom, scroll offset and playback marker as the track views, draws
// ticks and "hh:mm:ss" labels on the skin's strip, and a press or drag on it
// moves the playback position (0x5353 with the time in ms to the timeline
// window).
#pragma once

#include "config/resources.h"
#include "platform/messages.h"
#include "project/timeline_scale.h"
#include "skin/skin_bitmap.h"

#include <QWidget>

class CCW_TimeLineRuler : public MessageWindow<QWidget> {
    Q_OBJECT
public:
    explicit CCW_TimeLineRuler(QWidget* parent = nullptr);

    // The strip and the marker image.
    void LoadImages(const ResourceLookup& lookup);

    const TimelineScale& scale() const { return scale_; }
    qint64 scrollOffset() const { return scrollOffset_; }
    bool positionShown() const { return positionShown_; }
    qint64 position() const { return position_; }
    // The time under a column of the ruler (not below 0).
    qint64 TimeAt(int x) const;

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Seek(int x);

    TimelineScale scale_;
    qint64 scrollOffset_ = 0;
    bool positionShown_ = false;
    std::int64_t position_ = 0;
    bool seeking_ = false;
    SkinBitmap strip_;
    SkinBitmap marker_;
    QFont font_;
};
