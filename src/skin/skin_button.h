// CSkinButton: a push button drawn from a skin strip of four equal frames
// side by side: normal, hover, pressed, disabled. A section may name a second
// strip (IMAGE2) for the button's other mode, such as a preview button that
// becomes a stop button while playing. Space and Enter click the focused
// button. A strip that cannot be loaded leaves the button undrawn but usable.
#pragma once

#include "skin/skin_bitmap.h"

#include <QAbstractButton>

class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Frame { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

    explicit CSkinButton(QWidget* parent = nullptr, int controlId = 0);

    int controlId() const { return controlId_; }

    // IMAGE and IMAGE2 of section; the button takes the size of one frame.
    void LoadImages(const ResourceLookup& lookup, const QString& section);
    void SetImages(const QString& first, const QString& second = QString());
    // Draws the second strip instead of the first.
    void SetSecondMode(bool second);
    bool secondMode() const { return second_; }
    // The tooltip is looked up each time it is shown.
    void SetToolTipKey(const ResourceLookup& lookup, const QString& section, const QString& key);

    Frame currentFrame() const;
    QSize sizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    const SkinBitmap& strip() const { return second_ && !strip2_.isNull() ? strip2_ : strip1_; }
    QSize frameSize() const;

    int controlId_;
    SkinBitmap strip1_, strip2_;
    bool second_ = false;
    bool hovered_ = false;
    ResourceLookup tipLookup_;
    QString tipSection_, tipKey_;
};
