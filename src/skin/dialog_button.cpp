#include "skin/dialog_button.h"

#include <QPainter>

CDialogButton::CDialogButton(const QString& text, QSize size, QWidget* parent)
    : QPushButton(text, parent)
    , size_(size)
{
    resize(size_);
}

void CDialogButton::LoadStrip(const QString& path)
{
    if (!LoadSkinBitmap(strip_, path))
        return;
    size_ = QSize(strip_.width() / 4, strip_.height());
    resize(size_);
    update();
}

void CDialogButton::paintEvent(QPaintEvent* event)
{
    if (strip_.isNull()) {
        QPushButton::paintEvent(event);
        return;
    }
    const int frame = !isEnabled() ? 3 : isDown() ? 2 : underMouse() ? 1 : 0;
    QPainter painter(this);
    strip_.drawFrame(painter, rect(), frame);
}

void CDialogButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    update();
}

void CDialogButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    update();
}
