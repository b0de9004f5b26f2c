// CSkinBaseDialog: the frameless, round-cornered dialog every modal window of
// the editor is built on. Its frame is painted from the images of section
// "THEMEMANAGER_UI"; it has a skinned close button at the top right and, in
// message mode, a CMsgBox body. Esc, the close button and closing the window
// end it with 2.
//
// Configure it (SetResourceCallbacks first, then title and modes) and run it:
// ShowMessage for a message, DoModal for a dialog of a derived class. The
// window is built when it is first shown (OnInitDialog); a self-closing
// dialog ends itself with 2 after 3000 ms unless it was ended before.
#pragma once

#include "config/resources.h"
#include "platform/dialog_service.h"
#include "skin/skin_bitmap.h"

#include <QBasicTimer>
#include <QDialog>
#include <QFont>
#include <array>

class CDialogButton;
class CMsgBox;

class CSkinBaseDialog : public QDialog, public ResourceLookup {
    Q_OBJECT
public:
    static constexpr int kSelfCloseMs = 3000;
    // The message body's top; the dialog is the body plus these margins.
    static constexpr int kMessageTop = 39;
    static constexpr int kMessageExtraWidth = 16;
    static constexpr int kMessageExtraHeight = 84;
    static constexpr int kCornerEllipse = 11;

    explicit CSkinBaseDialog(QWidget* parent = nullptr);
    ~CSkinBaseDialog() override;

    void SetTitle(const QString& title);
    QString title() const { return title_; }
    void SetSkinned(bool skinned) { skinned_ = skinned; }
    void ShowLogo(bool show);
    void HideCloseButton();
    void SetAlignment(int alignment) { alignment_ = alignment; }
    void SetSelfClosing(bool selfClosing) { selfClosing_ = selfClosing; }
    // Switches message mode on with the text and the message type, without
    // running the dialog.
    void SetMessage(const QString& text, int type);
    // SetMessage, then runs the dialog modally; returns its result. Code
    // outside this layer shows messages through Dialogs().skinnedMessage.
    int ShowMessage(const QString& text, int type);
    // Runs the dialog through the dialog service (scripts can answer it).
    int DoModal();

    CMsgBox* messageBody() const { return body_; }
    CDialogButton* closeButton() const { return closeButton_; }
    bool selfCloseArmed() const { return selfCloseTimer_.isActive(); }

    void setVisible(bool visible) override;
    void done(int result) override;
    void reject() override;

protected:
    // Builds the window's contents; runs once, when the dialog is first
    // shown. Derived dialogs add their controls after calling this.
    virtual void OnInitDialog();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    enum Piece { TopLeft, TopRight, TopMid, MidLeft, MidRight, BottomRight, BottomMid, BottomLeft, Logo, Slogan };

    void LoadFrameImages();

    std::array<SkinBitmap, 10> frame_;
    CDialogButton* closeButton_ = nullptr;
    CMsgBox* body_ = nullptr;
    QFont titleFont_;
    QString title_;
    QString message_;
    int messageType_ = 2;
    int alignment_ = 1;
    bool skinned_ = false;
    bool logoShown_ = false;
    bool messageMode_ = false;
    bool selfClosing_ = false;
    bool closeHidden_ = false;
    bool initialised_ = false;
    QBasicTimer selfCloseTimer_;
};

// Shows a skinned message in a CSkinBaseDialog (the presenter of the Qt
// dialog service).
int ShowSkinnedMessage(QWidget* owner, const SkinnedMessage& message);
// Makes this copy of the Qt dialog service show skinned messages with
// ShowSkinnedMessage.
void InstallSkinnedMessages();
