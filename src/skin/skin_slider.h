// CSkinSlider: a horizontal slider with one thumb over the integer positions
// [min, max], drawn from a skin section in one of two forms: BACK_IMAGE (the
// track, stretched across) with UP_IMAGE and DOWN_IMAGE (the thumb normal and
// pressed), or the five pieces BACK_HEAD, BACK_BODY, BACK_TAIL, MARK_UP,
// MARK_DOWN (track ends drawn as they are, the body tiled between).
//
// The thumb's left edge sits at (pos - min) * (width - thumb width) /
// (max - min). A change the user makes (drag, click on the track, keys) is
// sent at once to the parent as msg::SliderMoved (wParam the control id,
// lParam the position); SetPos does not notify. With max equal to min only
// the track is drawn.
#pragma once

#include "platform/messages.h"
#include "skin/skin_bitmap.h"

#include <QWidget>

class CSkinSlider : public QWidget {
    Q_OBJECT
public:
    explicit CSkinSlider(QWidget* parent = nullptr, int controlId = 0);

    int controlId() const { return controlId_; }

    void LoadBitmaps(const ResourceLookup& lookup, const QString& section);
    // Swapped when given in descending order; the position is clamped.
    void SetRange(int min, int max);
    int GetRangeMin() const { return min_; }
    int GetRangeMax() const { return max_; }
    void SetPos(int pos);
    int GetPos() const { return pos_; }

    int thumbWidth() const;
    QRect thumbRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    const SkinBitmap& thumb(bool pressed) const;
    int usableLength() const { return width() - thumbWidth(); }
    // Moves the thumb's left edge to x; notifies when the position changes.
    void moveThumbTo(int x);
    void userSetPos(long long pos);

    int controlId_;
    int min_ = 0, max_ = 100, pos_ = 0;
    bool dragging_ = false;
    int grabX_ = 0;
    bool pieces_ = false; // the five-piece form
    SkinBitmap back_, head_, body_, tail_, up_, down_;
};
