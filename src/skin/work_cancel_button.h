// CWorkCancelButton: the Cancel button of the progress windows, a skinned
// dialog button (four-frame strip, or a plain face with its text). Clicking
// it only sets the cancel flag of CMovieWorkState: the work notices the flag
// and ends, and its end closes the dialog. It takes no focus and is never
// the default button, so Enter cannot cancel a save.
#pragma once

#include "skin/dialog_button.h"

class CWorkCancelButton : public CDialogButton {
public:
    CWorkCancelButton(int controlId, const QString& imagePath, QWidget* parent);
};
