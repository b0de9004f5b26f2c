#include "skin/global_work_dlg.h"

#include "skin/work_cancel_button.h"

CGlobalWorkDlg::CGlobalWorkDlg(QWidget* parent)
    : CWorkDialogBase(parent, msg::CloseProgress, kSize)
{
    setObjectName(QStringLiteral("CGlobalWorkDlg"));
}

void CGlobalWorkDlg::SetWorkTexts(const QString& line0, const QString& line1, bool progressMode)
{
    lines_[0] = line0;
    lines_[1] = line1;
    progressMode_ = progressMode;
    if (wnd_)
        wnd_->SetWorkTexts(line0, line1, progressMode);
}

void CGlobalWorkDlg::createWorkWindow()
{
    wnd_ = new CGlobalWorkWnd(lookup(), this);
    wnd_->move(kWorkWindowAt);
    wnd_->SetWorkTexts(lines_[0], lines_[1], progressMode_);
    wnd_->show();
}

void CGlobalWorkDlg::destroyWorkWindow()
{
    // At once: its timer must not read the work state after the run.
    delete wnd_;
}

QAbstractButton* CGlobalWorkDlg::cancelButton() const
{
    return wnd_ ? wnd_->cancelButton() : nullptr;
}
