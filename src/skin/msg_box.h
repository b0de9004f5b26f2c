// CMsgBox: the body of a skinned message dialog. It splits the message into
// lines, sizes itself from the message font's metrics and paints the lines
// above a row of skinned buttons chosen by the message type:
//   0 OK / Cancel (1 / 2), 1 Yes / No (6 / 7), 2 OK (1),
//   3 Yes / No / Cancel (6 / 7 / 2); any other type shows OK.
// A button press emits chosen() with the button's result.
#pragma once

#include "config/resources.h"

#include <QFont>
#include <QStringList>
#include <QWidget>
#include <vector>

class CDialogButton;

class CMsgBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinTextWidth = 200;
    // A line wider than the widest so far widens the text by this much more.
    static constexpr int kLineSlack = 15;
    static constexpr int kExtraWidth = 40;
    static constexpr int kExtraHeight = 87;

    CMsgBox(const ResourceLookup& lookup, QWidget* parent);

    // 1 centred (the default), 2 right-aligned, anything else left-aligned.
    void SetAlignment(int alignment);
    // Takes the text and the message type, makes the buttons and resizes the
    // control to (text width + 40, text height + 87).
    void SetMessage(const QString& text, int type);

    const QStringList& lines() const { return lines_; }
    int lineHeight() const { return lineHeight_; }
    int textWidth() const { return textWidth_; }
    int textHeight() const { return textHeight_; }
    const QFont& messageFont() const { return font_; }
    const std::vector<CDialogButton*>& buttons() const { return buttons_; }

signals:
    void chosen(int result);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int buttonTop() const;

    ResourceLookup lookup_;
    QFont font_;
    QStringList lines_;
    int lineHeight_ = 0;
    int textWidth_ = 0;
    int textHeight_ = 0;
    int alignment_ = 1;
    int type_ = 2;
    std::vector<CDialogButton*> buttons_;
};
