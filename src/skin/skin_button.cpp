#include "skin/skin_button.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>

CSkinButton::CSkinButton(QWidget* parent, int controlId)
    : QAbstractButton(parent)
    , controlId_(controlId)
{
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinButton::LoadImages(const ResourceLookup& lookup, const QString& section)
{
    SetImages(lookup.GetResourceImagePath(section, QStringLiteral("IMAGE")),
        lookup.GetResourceImagePath(section, QStringLiteral("IMAGE2")));
}

void CSkinButton::SetImages(const QString& first, const QString& second)
{
    strip1_.clear();
    strip2_.clear();
    LoadSkinBitmap(strip1_, first);
    LoadSkinBitmap(strip2_, second);
    if (!strip1_.isNull())
        resize(frameSize());
    updateGeometry();
    update();
}

void CSkinButton::SetSecondMode(bool second)
{
    if (second == second_)
        return;
    second_ = second;
    update();
}

void CSkinButton::SetToolTipKey(const ResourceLookup& lookup, const QString& section, const QString& key)
{
    tipLookup_ = lookup;
    tipSection_ = section;
    tipKey_ = key;
}

QSize CSkinButton::frameSize() const
{
    return { strip().width() / 4, strip().height() };
}

QSize CSkinButton::sizeHint() const
{
    return strip().isNull() ? QSize(16, 16) : frameSize();
}

CSkinButton::Frame CSkinButton::currentFrame() const
{
    if (!isEnabled())
        return Disabled;
    if (isDown())
        return Pressed;
    return hovered_ ? Hover : Normal;
}

bool CSkinButton::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip && !tipKey_.isEmpty()) {
        const QString text = tipLookup_.GetResourceText(tipSection_, tipKey_);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text, this);
        return true;
    }
    return QAbstractButton::event(e);
}

void CSkinButton::paintEvent(QPaintEvent*)
{
    const SkinBitmap& s = strip();
    if (s.isNull())
        return;
    QPainter p(this);
    s.drawFrame(p, QRect(QPoint(0, 0), frameSize()), currentFrame());
}

void CSkinButton::keyPressEvent(QKeyEvent* e)
{
    // Space is the button's own (press on key down, click on key up).
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(e);
}

void CSkinButton::enterEvent(QEnterEvent* e)
{
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CSkinButton::leaveEvent(QEvent* e)
{
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}
