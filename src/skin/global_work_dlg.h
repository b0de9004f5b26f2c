// CGlobalWorkDlg: the progress dialog of a save. Its work window
// (CGlobalWorkWnd) shows the stages, the progress bar, the time left and
// Cancel; message 0x464 ends the run with result 5.
#pragma once

#include "skin/global_work_wnd.h"
#include "skin/work_dialog_base.h"

#include <QPointer>

class CGlobalWorkDlg : public CWorkDialogBase {
public:
    static constexpr QSize kSize { 415, 290 };
    static constexpr QPoint kWorkWindowAt { 8, 43 };

    explicit CGlobalWorkDlg(QWidget* parent = nullptr);

    // The work window's two lines and progress mode, for this run and the next.
    void SetWorkTexts(const QString& line0, const QString& line1, bool progressMode);
    // The work window during a run; null otherwise.
    CGlobalWorkWnd* workWnd() const { return wnd_; }

protected:
    void createWorkWindow() override;
    void destroyWorkWindow() override;
    QAbstractButton* cancelButton() const override;

private:
    QPointer<CGlobalWorkWnd> wnd_;
    QString lines_[2];
    bool progressMode_ = false;
};
