// CMovie_WorkDlg: the progress dialog of a phone-format import. Its work
// window (CMovie_WorkWnd) shows the conversion or, without progress mode,
// a tick animation whose ticks (0x1319) are passed on to the owner; message
// 0x6314 ends the run with result 5.
#pragma once

#include "skin/movie_work_wnd.h"
#include "skin/work_dialog_base.h"

#include <QPointer>

class CMovie_WorkDlg : public CWorkDialogBase {
public:
    static constexpr QSize kSize { 380, 186 };
    static constexpr QPoint kWorkWindowAt { 8, 43 };

    // owner receives the ticks; the dialog's parent when null.
    explicit CMovie_WorkDlg(QWidget* parent = nullptr, QObject* owner = nullptr);

    void SetOwner(QObject* owner) { owner_ = owner; }
    void SetWorkTexts(const QString& line0, const QString& line1, bool progressMode);
    // The work window during a run; null otherwise.
    CMovie_WorkWnd* workWnd() const { return wnd_; }

protected:
    void createWorkWindow() override;
    void destroyWorkWindow() override;
    QAbstractButton* cancelButton() const override;
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    QPointer<QObject> owner_;
    QPointer<CMovie_WorkWnd> wnd_;
    QString lines_[2];
    bool progressMode_ = false;
};
