// The buttons of the skinned dialogs: a push button drawn from a horizontal
// strip of four equal frames (normal, hover, pressed, disabled), the way the
// skin draws its buttons. Without a strip it keeps the plain button look and
// its text, so a missing image never hides a choice. Space and Enter work as
// on any push button; inside a dialog the default one answers Enter.
#pragma once

#include "config/resources.h"
#include "skin/skin_bitmap.h"

#include <QPushButton>

class CDialogButton : public QPushButton {
public:
    // size: the button's size while it has no strip.
    CDialogButton(const QString& text, QSize size, QWidget* parent);

    // Loads the strip (a missing file raises the loader's warning) and takes
    // the size of one frame.
    void LoadStrip(const QString& path);
    bool hasStrip() const { return !strip_.isNull(); }
    QSize sizeHint() const override { return size_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    SkinBitmap strip_;
    QSize size_;
};
