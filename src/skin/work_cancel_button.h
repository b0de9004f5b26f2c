// CWorkCancelButton: the Cancel button of the progress windows, drawn from a
// horizontal strip of four equal frames (normal, hover, pressed, disabled);
// without an image it draws its text on a plain face. Clicking it only sets
// the cancel flag of CMovieWorkState: the work notices the flag and ends,
// and its end closes the dialog.
#pragma once

#include "config/resources.h"
#include "skin/skin_bitmap.h"

#include <QAbstractButton>

class CWorkCancelButton : public QAbstractButton {
public:
    CWorkCancelButton(int controlId, const QString& imagePath, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    SkinBitmap strip_;
};
