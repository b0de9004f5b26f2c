// CWorkDialogBase: the frame shared by the progress dialogs of long work
// (CGlobalWorkDlg, CMovie_WorkDlg). A frameless, round-cornered dialog with a
// title; its work window is created each time the dialog shows and deleted
// when the run ends, so the work window's timers and animations exist only
// during one modal run.
//
// The run ends with result 5 when the close message arrives during it, and
// with result 2 when the self-closing timer (3000 ms) fires. A close message
// outside a run is ignored, so a second one, or one left over from an
// earlier run, never ends the next run. Esc and closing the window only
// press the work window's Cancel button (when it is enabled): the dialog
// never ends while its work runs unless that work or the timer ends it.
#pragma once

#include "config/resources.h"
#include "platform/messages.h"

#include <QDialog>
#include <QTimer>

class QAbstractButton;

class CWorkDialogBase : public MessageWindow<QDialog> {
public:
    static constexpr int kClosedByWork = 5;
    static constexpr int kSelfClosingTimerId = 310;
    static constexpr int kSelfClosingMs = 3000;

    void SetResourceCallbacks(HostTextCallback text, HostImageCallback image);
    const ResourceLookup& lookup() const { return lookup_; }
    void SetTitle(const QString& title);
    QString title() const { return title_; }
    // Flag set: the next runs end themselves with result 2 after 3000 ms.
    void SetSelfClosing(bool selfClosing) { selfClosing_ = selfClosing; }
    // Whether a modal run is in progress (from the dialog's showing to its end).
    bool IsRunning() const { return running_; }
    // Runs the dialog modally through the dialog service.
    int DoModal();

    void done(int result) override;
    void reject() override;

protected:
    CWorkDialogBase(QWidget* parent, std::uint32_t closeMessage, QSize clientSize);

    // The work window, made when the dialog shows and deleted when it ends.
    virtual void createWorkWindow() = 0;
    virtual void destroyWorkWindow() = 0;
    // The work window's Cancel button, when the work window exists.
    virtual QAbstractButton* cancelButton() const = 0;

    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    std::uint32_t closeMessage_;
    ResourceLookup lookup_;
    QString title_;
    bool selfClosing_ = false;
    bool running_ = false;
    QTimer selfClosingTimer_;
};
