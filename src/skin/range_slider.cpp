#include "skin/range_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool finite(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b);
}

// The centre as the window system computes it: the midpoint between the left
// edge and the first pixel past the right edge.
QPoint centreOf(const QRect& r)
{
    return { (2 * r.left() + r.width()) / 2, (2 * r.top() + r.height()) / 2 };
}

} // namespace

CRangeSlider::CRangeSlider(QWidget* parent, int controlId)
    : QWidget(parent)
    , controlId_(controlId)
{
    setFocusPolicy(Qt::StrongFocus);
}

void CRangeSlider::SetMinMax(double min, double max)
{
    if (!finite(min, max))
        return;
    if (min > max)
        std::swap(min, max);
    min_ = min;
    max_ = max;
    normaliseSelection();
    update();
}

void CRangeSlider::GetMinMax(double& min, double& max) const
{
    min = min_;
    max = max_;
}

void CRangeSlider::SetRange(double left, double right)
{
    if (!finite(left, right))
        return;
    left_ = left;
    right_ = right;
    normaliseSelection();
    update();
}

void CRangeSlider::GetRange(double& left, double& right) const
{
    left = left_;
    right = right_;
}

void CRangeSlider::SetVisualRange(double start, double end)
{
    if (!finite(start, end))
        return;
    visualStart_ = start;
    visualEnd_ = end;
    normaliseVisual();
    update();
}

void CRangeSlider::GetVisualRange(double& start, double& end) const
{
    start = visualStart_;
    end = visualEnd_;
}

void CRangeSlider::SetVisualMode(bool shown)
{
    if (shown == visualShown_)
        return;
    visualShown_ = shown;
    update();
}

void CRangeSlider::takeBitmapSize(const SkinBitmap& b)
{
    if (!b.isNull())
        bitmapSize_ = b.size();
}

void CRangeSlider::SetMarkBitmaps(const QString& normal, const QString& pressed)
{
    for (auto [bitmap, path] : { std::pair { &markUp_, &normal }, { &markDown_, &pressed } }) {
        bitmap->clear();
        LoadSkinBitmap(*bitmap, *path);
        takeBitmapSize(*bitmap);
    }
    bitmapsSet_ = true;
    update();
}

void CRangeSlider::SetTrackBitmaps(const QString& head, const QString& body, const QString& tail)
{
    for (auto [bitmap, path] : { std::pair { &head_, &head }, { &body_, &body }, { &tail_, &tail } }) {
        bitmap->clear();
        LoadSkinBitmap(*bitmap, *path);
        takeBitmapSize(*bitmap);
    }
    bitmapsSet_ = true;
    update();
}

void CRangeSlider::SetBandBitmaps(const QString& selection, const QString& played)
{
    for (auto [bitmap, path] : { std::pair { &select_, &selection }, { &visual_, &played } }) {
        bitmap->clear();
        LoadSkinBitmap(*bitmap, *path);
        takeBitmapSize(*bitmap);
    }
    bitmapsSet_ = true;
    update();
}

void CRangeSlider::LoadBitmaps(const ResourceLookup& lookup, const QString& section)
{
    auto path = [&](const char* key) { return lookup.GetResourceImagePath(section, QLatin1String(key)); };
    SetMarkBitmaps(path("MARK_UP"), path("MARK_DOWN"));
    SetTrackBitmaps(path("BACK_HEAD"), path("BACK_BODY"), path("BACK_TAIL"));
    SetBandBitmaps(path("SELECT"), path("VISUAL"));
}

void CRangeSlider::notify(Element which, LPARAM release)
{
    SendMessage(parentWidget(), msg::RangeChanged, static_cast<WPARAM>(which), release);
}

void CRangeSlider::normaliseSelection()
{
    if (left_ < min_) {
        left_ = min_;
        notify(LeftMark);
        if (right_ < left_) {
            right_ = left_;
            notify(RightMark);
        }
    }
    if (right_ > max_) {
        right_ = max_;
        notify(RightMark);
        if (left_ > right_) {
            left_ = right_;
            notify(LeftMark);
        }
    }
}

void CRangeSlider::normaliseVisual()
{
    if (visualEnd_ < visualStart_)
        std::swap(visualStart_, visualEnd_);
    if (visualStart_ < min_) {
        visualStart_ = min_;
        if (visualEnd_ < visualStart_)
            visualEnd_ = visualStart_;
    }
    if (visualEnd_ > max_) {
        visualEnd_ = max_;
        if (visualStart_ > visualEnd_)
            visualStart_ = visualEnd_;
    }
}

QVariantMap CRangeSlider::ScriptGeometry() const
{
    return { { "min", min_ }, { "max", max_ }, { "left", left_ }, { "right", right_ }, { "thumbWidth", thumbWidth_ },
        { "usable", usableLength() } };
}

int CRangeSlider::pixel(double v) const
{
    return static_cast<int>((v - min_) / (max_ - min_) * usableLength());
}

double CRangeSlider::value(int q) const
{
    return static_cast<double>(q) / usableLength() * (max_ - min_) + min_;
}

void CRangeSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (bitmapsSet_ && bitmapSize_.width() > 0)
        thumbWidth_ = bitmapSize_.width();
    const int tw = thumbWidth_;
    const int cw = width();
    const int bh = bitmapSize_.height() > 0 ? bitmapSize_.height() : height();

    // The track: the body tiles run under the tail, which is drawn last.
    head_.draw(p, 0, 0);
    const int step = bitmapSize_.width();
    if (step > 0) {
        for (int x = tw; x < cw - tw; x += step)
            body_.draw(p, x, 0);
    }
    tail_.draw(p, cw - tw, 0);

    if (!hasRange()) {
        // No pixel mapping: nothing to show or grab but the track.
        leftRect_ = rightRect_ = QRect();
        return;
    }
    const int pl = pixel(left_), pr = pixel(right_);
    select_.tileHorizontally(p, QRect(tw + pl, 0, pr - pl, bh));
    if (visualShown_ && visualStart_ < right_ && left_ < visualEnd_) {
        const int from = std::max(pl, pixel(visualStart_)), to = std::min(pr, pixel(visualEnd_));
        visual_.tileHorizontally(p, QRect(tw + from, 0, to - from, bh));
    }
    leftRect_ = QRect(pl, 0, tw, bh);
    rightRect_ = QRect(tw + pr, 0, tw, bh);
    for (const auto& [rect, element] : { std::pair { leftRect_, LeftMark }, { rightRect_, RightMark } }) {
        const SkinBitmap& mark = tracking_ && dragged_ == element ? markDown_ : markUp_;
        const QSize part(std::min(tw, mark.width()), std::min(bh, mark.height()));
        mark.draw(p, QRect(rect.topLeft(), part), QRect(QPoint(0, 0), part));
    }
}

void CRangeSlider::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    update();
    if (tracking_)
        return;
    const QPoint pt = e->position().toPoint();
    // Between the marks, one pixel clear of each, over the full height.
    const QRect between(
        QPoint(leftRect_.left() + leftRect_.width() + 1, 0), QPoint(rightRect_.left() - 2, height() - 1));
    QRect hit;
    if (leftRect_.contains(pt)) {
        dragged_ = LeftMark;
        hit = leftRect_;
    } else if (rightRect_.contains(pt)) {
        dragged_ = RightMark;
        hit = rightRect_;
    } else if (between.contains(pt)) {
        dragged_ = Selection;
        hit = between;
    } else {
        return;
    }
    tracking_ = true;
    grabOffset_ = pt - centreOf(hit);
}

void CRangeSlider::mouseMoveEvent(QMouseEvent* e)
{
    if (!tracking_ || usableLength() <= 0)
        return;
    dragTo(e->position().toPoint().x() - grabOffset_.x());
    update();
}

// p is the new centre of the dragged element.
void CRangeSlider::dragTo(int p)
{
    const int tw = thumbWidth_;
    switch (dragged_) {
    case LeftMark:
        left_ = value(p - tw / 2);
        if (left_ >= right_)
            left_ = right_;
        if (left_ < min_)
            left_ = min_;
        notify(LeftMark);
        break;
    case RightMark:
        right_ = value(p - 3 * tw / 2);
        if (right_ < left_)
            right_ = left_;
        if (right_ >= max_)
            right_ = max_;
        notify(RightMark);
        break;
    case Selection: {
        const double width = right_ - left_;
        const double centre = value(p - tw);
        left_ = centre - width / 2;
        right_ = centre + width / 2;
        if (left_ < min_) {
            left_ = min_;
            right_ = left_ + width;
        }
        if (!(right_ < max_)) {
            right_ = max_;
            left_ = right_ - width;
        }
        notify(Selection);
        break;
    }
    }
}

void CRangeSlider::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !tracking_) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    tracking_ = false;
    if (dragged_ == RightMark)
        notify(RightMark, 1);
    update();
}

void CRangeSlider::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (e->modifiers() & Qt::ControlModifier)
        return;
    const int usable = usableLength();
    if (usable <= 0)
        return;
    const double step = (max_ - min_) / usable; // the value of one pixel
    if (step == 0.0)
        return;
    int a = static_cast<int>((left_ - min_) / step + 0.5);
    int b = static_cast<int>((right_ - min_) / step + 0.5);
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const int d = key == Qt::Key_Right ? 1 : -1;
    b += d;
    if (!shift)
        a += d;
    // Shift moves the right mark alone: it never passes the left one.
    if (a >= 0 && b <= usable && a <= b) {
        left_ = a * step + min_;
        right_ = b * step + min_;
    }
    notify(shift ? LeftMark : Selection);
    update();
}

void CRangeSlider::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    update();
}

void CRangeSlider::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    update();
}
