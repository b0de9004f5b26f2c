#include "skin/cw_msg_box.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "skin/msg_box.h"

#include <QCheckBox>

namespace {
constexpr int kCheckBoxLeft = 16;
constexpr int kCheckBoxGap = 8; // below the message body
} // namespace

CCW_MsgBox::CCW_MsgBox(QWidget* parent)
    : CSkinBaseDialog(parent)
{
    SetSkinned(true);
}

void CCW_MsgBox::OnInitDialog()
{
    SetMessage(GetResourceText("CW_MSGBOX", "MSG1"), 2);
    CSkinBaseDialog::OnInitDialog();

    // The check box sits in the band below the body, left-aligned; the
    // dialog widens when its text needs more room.
    dontShow_ = new QCheckBox(GetResourceText("CW_MSGBOX", "DONT_SHOW"), this);
    dontShow_->setObjectName(QStringLiteral("DONT_SHOW"));
    dontShow_->setFocusPolicy(Qt::TabFocus);
    QPalette palette = dontShow_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    dontShow_->setPalette(palette);
    const QSize hint = dontShow_->sizeHint();
    if (hint.width() + 2 * kCheckBoxLeft > width())
        setFixedSize(hint.width() + 2 * kCheckBoxLeft, height());
    const int bodyBottom = kMessageTop + messageBody()->height();
    dontShow_->setGeometry(kCheckBoxLeft, bodyBottom + kCheckBoxGap, hint.width(), hint.height());
    dontShow_->show();
}

void CCW_MsgBox::done(int result)
{
    if (dontShow_ && dontShow_->isChecked()) {
        CRegistry key;
        if (!key.OpenKey(kSuiteKey) || !key.WriteDword(kDontShowValue, 1))
            qWarning("could not write %s", kDontShowValue);
    }
    CSkinBaseDialog::done(result);
}
