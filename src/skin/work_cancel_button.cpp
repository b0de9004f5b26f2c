#include "skin/work_cancel_button.h"

#include "engine/work_state.h"

CWorkCancelButton::CWorkCancelButton(int controlId, const QString& imagePath, QWidget* parent)
    : CDialogButton(QStringLiteral("Cancel"), QSize(72, 24), parent)
{
    setProperty("controlId", controlId);
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
    LoadStrip(imagePath);
    connect(this, &QAbstractButton::clicked, this, [] { CMovieWorkState::SetCancel(1); });
}
