#include "skin/work_cancel_button.h"

#include "engine/work_state.h"

#include <QPainter>

CWorkCancelButton::CWorkCancelButton(int controlId, const QString& imagePath, QWidget* parent)
    : QAbstractButton(parent)
{
    setProperty("controlId", controlId);
    setText(QStringLiteral("Cancel"));
    setFocusPolicy(Qt::NoFocus);
    LoadSkinBitmap(strip_, imagePath);
    connect(this, &QAbstractButton::clicked, this, [] { CMovieWorkState::SetCancel(1); });
}

void CWorkCancelButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int frame = !isEnabled() ? 3 : isDown() ? 2 : underMouse() ? 1 : 0;
    if (!strip_.isNull()) {
        const int w = strip_.width() / 4;
        p.drawImage(rect(), strip_.image(), QRect(frame * w, 0, w, strip_.height()));
        return;
    }
    p.fillRect(rect(), frame == 3 ? QColor(200, 200, 200) : frame == 2 ? QColor(170, 180, 200) : QColor(230, 232, 238));
    p.setPen(isEnabled() ? Qt::black : Qt::gray);
    p.drawText(rect(), Qt::AlignCenter, text());
}

void CWorkCancelButton::enterEvent(QEnterEvent* e)
{
    update();
    QAbstractButton::enterEvent(e);
}

void CWorkCancelButton::leaveEvent(QEvent* e)
{
    update();
    QAbstractButton::leaveEvent(e);
}
