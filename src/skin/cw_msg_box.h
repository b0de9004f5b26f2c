// CCW_MsgBox: the notice shown before a PC save in a Korean-language suite.
// A skinned OK message (section "CW_MSGBOX", key "MSG1") with a "do not show
// again" check box (key "DONT_SHOW") below it. Ending the box with the check
// box ticked writes the suite DWORD "CW_MSGBOX_MSG1" = 1, which turns the
// notice off for later saves. Run it with DoModal (through the dialog
// service, so a script can tick the box and press OK).
#pragma once

#include "skin/skin_base_dialog.h"

class QCheckBox;

class CCW_MsgBox : public CSkinBaseDialog {
    Q_OBJECT
public:
    static constexpr const char* kDontShowValue = "CW_MSGBOX_MSG1";

    explicit CCW_MsgBox(QWidget* parent = nullptr);

    // Null until the box is first shown.
    QCheckBox* dontShowBox() const { return dontShow_; }

    void done(int result) override;

protected:
    void OnInitDialog() override;

private:
    QCheckBox* dontShow_ = nullptr;
};
