#include "skin/movie_work_dlg.h"

#include "skin/work_cancel_button.h"

CMovie_WorkDlg::CMovie_WorkDlg(QWidget* parent, QObject* owner)
    : CWorkDialogBase(parent, msg::CloseMovieWork, kSize)
    , owner_(owner ? owner : parent)
{
    setObjectName(QStringLiteral("CMovie_WorkDlg"));
}

void CMovie_WorkDlg::SetWorkTexts(const QString& line0, const QString& line1, bool progressMode)
{
    lines_[0] = line0;
    lines_[1] = line1;
    progressMode_ = progressMode;
    if (wnd_)
        wnd_->SetWorkTexts(line0, line1, progressMode);
}

void CMovie_WorkDlg::createWorkWindow()
{
    wnd_ = new CMovie_WorkWnd(lookup(), this);
    wnd_->move(kWorkWindowAt);
    wnd_->SetWorkTexts(lines_[0], lines_[1], progressMode_);
    wnd_->show();
}

void CMovie_WorkDlg::destroyWorkWindow()
{
    // At once: its timer must not read the work state after the run.
    delete wnd_;
}

QAbstractButton* CMovie_WorkDlg::cancelButton() const
{
    return wnd_ ? wnd_->cancelButton() : nullptr;
}

LRESULT CMovie_WorkDlg::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message == msg::MovieWorkTick)
        return SendMessage(owner_, message, wParam, lParam);
    return CWorkDialogBase::onMessage(message, wParam, lParam, handled);
}
