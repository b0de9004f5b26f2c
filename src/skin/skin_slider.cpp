#include "skin/skin_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

CSkinSlider::CSkinSlider(QWidget* parent, int controlId)
    : QWidget(parent)
    , controlId_(controlId)
{
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinSlider::LoadBitmaps(const ResourceLookup& lookup, const QString& section)
{
    for (SkinBitmap* b : { &back_, &head_, &body_, &tail_, &up_, &down_ })
        b->clear();
    const QString back = lookup.GetResourceImagePath(section, QStringLiteral("BACK_IMAGE"));
    pieces_ = back.isEmpty();
    if (pieces_) {
        LoadSkinBitmap(head_, lookup, section, QStringLiteral("BACK_HEAD"));
        LoadSkinBitmap(body_, lookup, section, QStringLiteral("BACK_BODY"));
        LoadSkinBitmap(tail_, lookup, section, QStringLiteral("BACK_TAIL"));
        LoadSkinBitmap(up_, lookup, section, QStringLiteral("MARK_UP"));
        LoadSkinBitmap(down_, lookup, section, QStringLiteral("MARK_DOWN"));
    } else {
        LoadSkinBitmap(back_, back);
        LoadSkinBitmap(up_, lookup, section, QStringLiteral("UP_IMAGE"));
        LoadSkinBitmap(down_, lookup, section, QStringLiteral("DOWN_IMAGE"));
    }
    update();
}

void CSkinSlider::SetRange(int min, int max)
{
    if (min > max)
        std::swap(min, max);
    min_ = min;
    max_ = max;
    pos_ = std::clamp(pos_, min_, max_);
    update();
}

void CSkinSlider::SetPos(int pos)
{
    pos = std::clamp(pos, min_, max_);
    if (pos == pos_)
        return;
    pos_ = pos;
    update();
}

void CSkinSlider::userSetPos(long long pos)
{
    pos = std::clamp<long long>(pos, min_, max_);
    if (pos == pos_)
        return;
    pos_ = static_cast<int>(pos);
    update();
    SendMessage(parentWidget(), msg::SliderMoved, static_cast<WPARAM>(controlId_), pos_);
}

const SkinBitmap& CSkinSlider::thumb(bool pressed) const
{
    return pressed && !down_.isNull() ? down_ : up_;
}

int CSkinSlider::thumbWidth() const
{
    const SkinBitmap& t = thumb(false);
    return t.isNull() ? 11 : t.width();
}

QRect CSkinSlider::thumbRect() const
{
    if (max_ == min_)
        return {};
    const int x = static_cast<int>(static_cast<long long>(pos_ - min_) * std::max(usableLength(), 0) / (max_ - min_));
    const SkinBitmap& t = thumb(false);
    return { x, 0, thumbWidth(), t.isNull() ? height() : t.height() };
}

void CSkinSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int cw = width();
    if (pieces_) {
        const int tw = thumbWidth();
        head_.draw(p, 0, 0);
        body_.tileHorizontally(p, QRect(tw, 0, cw - 2 * tw, body_.height()));
        tail_.draw(p, cw - tw, 0);
    } else {
        back_.draw(p, QRect(0, 0, cw, back_.height()), QRect(QPoint(0, 0), back_.size()));
    }
    const QRect r = thumbRect();
    if (!r.isEmpty())
        thumb(dragging_).draw(p, r.x(), r.y());
}

void CSkinSlider::moveThumbTo(int x)
{
    const int usable = usableLength();
    if (usable <= 0 || max_ == min_)
        return;
    const long long span = static_cast<long long>(max_) - min_;
    // The nearest position to x.
    const long long pos = min_ + (2 * static_cast<long long>(std::clamp(x, 0, usable)) * span + usable) / (2 * usable);
    userSetPos(pos);
}

void CSkinSlider::mousePressEvent(QMouseEvent* e)
{
    const QRect r = thumbRect();
    if (e->button() != Qt::LeftButton || r.isEmpty()) {
        QWidget::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const int x = e->position().toPoint().x();
    dragging_ = true;
    if (r.contains(x, r.center().y())) {
        grabX_ = x - r.x();
    } else {
        // A click on the track brings the thumb's centre under the pointer.
        grabX_ = r.width() / 2;
        moveThumbTo(x - grabX_);
    }
    update();
}

void CSkinSlider::mouseMoveEvent(QMouseEvent* e)
{
    if (dragging_)
        moveThumbTo(e->position().toPoint().x() - grabX_);
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !dragging_) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    dragging_ = false;
    update();
}

void CSkinSlider::keyPressEvent(QKeyEvent* e)
{
    const long long page = std::max(1LL, (static_cast<long long>(max_) - min_) / 10);
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        userSetPos(pos_ - 1LL);
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        userSetPos(pos_ + 1LL);
        break;
    case Qt::Key_PageDown:
        userSetPos(pos_ - page);
        break;
    case Qt::Key_PageUp:
        userSetPos(pos_ + page);
        break;
    case Qt::Key_Home:
        userSetPos(min_);
        break;
    case Qt::Key_End:
        userSetPos(max_);
        break;
    default:
        QWidget::keyPressEvent(e);
    }
}
