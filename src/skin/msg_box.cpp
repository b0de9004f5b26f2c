#include "skin/msg_box.h"

#include "platform/dialog_service.h"
#include "skin/dialog_button.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kTextTop = 20;
constexpr int kTextLeft = 20;
constexpr int kButtonGap = 8;
constexpr int kButtonBottomMargin = 20;
const QSize kPlainButtonSize(72, 24);

struct ButtonKind {
    const char* imageKey; // in section "PHONEMAKEUP_UI"
    const char* text; // shown when the image is missing
    int result;
};

constexpr ButtonKind kOk { "BTN_UI_OK", "OK", IDOK };
constexpr ButtonKind kCancel { "BTN_UI_CANCEL", "Cancel", IDCANCEL };
constexpr ButtonKind kYes { "BTN_UI_YES", "Yes", IDYES };
constexpr ButtonKind kNo { "BTN_UI_NO", "No", IDNO };

std::vector<ButtonKind> buttonsOfType(int type)
{
    switch (type) {
    case 0:
        return { kOk, kCancel };
    case 1:
        return { kYes, kNo };
    case 3:
        return { kYes, kNo, kCancel };
    default:
        return { kOk };
    }
}

} // namespace

CMsgBox::CMsgBox(const ResourceLookup& lookup, QWidget* parent)
    : QWidget(parent)
    , lookup_(lookup)
    , font_(MakeSkinFont(lookup, "THEMEMANAGER_FONT", "FONT_DEFAULT", SkinFontRole::MessageBox))
{
    setFont(font_);
}

void CMsgBox::SetAlignment(int alignment)
{
    alignment_ = alignment;
    update();
}

void CMsgBox::SetMessage(const QString& text, int type)
{
    type_ = type;
    lines_.clear();
    for (const QString& piece : text.split('\n')) {
        const QString line = piece.trimmed();
        if (!line.isEmpty())
            lines_ << line;
    }

    // A later line at most kLineSlack pixels wider than the widest so far
    // does not widen the text: the slack already covers it.
    const QFontMetrics metrics(font_);
    lineHeight_ = 0;
    textWidth_ = 0;
    textHeight_ = 0;
    for (const QString& line : lines_) {
        const int width = metrics.horizontalAdvance(line);
        if (width > textWidth_)
            textWidth_ = width + kLineSlack;
        lineHeight_ = metrics.height();
        textHeight_ += lineHeight_;
    }
    textWidth_ = std::max(textWidth_, kMinTextWidth);

    for (CDialogButton* button : buttons_)
        delete button;
    buttons_.clear();
    for (const ButtonKind& kind : buttonsOfType(type_)) {
        auto* button = new CDialogButton(QString::fromLatin1(kind.text), kPlainButtonSize, this);
        button->setObjectName(QString::fromLatin1(kind.imageKey));
        button->setProperty("controlId", kind.result);
        button->LoadStrip(lookup_.GetResourceImagePath("PHONEMAKEUP_UI", QString::fromLatin1(kind.imageKey)));
        const int result = kind.result;
        connect(button, &QPushButton::clicked, this, [this, result] { emit chosen(result); });
        buttons_.push_back(button);
    }
    if (!buttons_.empty()) {
        buttons_.front()->setDefault(true);
        buttons_.front()->setFocus();
    }
    resize(textWidth_ + kExtraWidth, textHeight_ + kExtraHeight);
    update();
}

int CMsgBox::buttonTop() const
{
    const int buttonHeight = buttons_.empty() ? 0 : buttons_.front()->height();
    return height() - buttonHeight - kButtonBottomMargin;
}

void CMsgBox::resizeEvent(QResizeEvent*)
{
    // The buttons stay centred at the bottom, also when the dialog cut the
    // control down to the screen.
    int total = 0;
    for (CDialogButton* button : buttons_)
        total += button->width();
    total += kButtonGap * std::max<int>(0, static_cast<int>(buttons_.size()) - 1);
    int x = (width() - total) / 2;
    const int y = buttonTop();
    for (CDialogButton* button : buttons_) {
        button->move(x, y);
        x += button->width() + kButtonGap;
    }
}

void CMsgBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font_);
    painter.setPen(Qt::white);
    // Lines that do not fit above the buttons are cut off.
    painter.setClipRect(QRect(0, 0, width(), buttonTop()));
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (alignment_ == 1)
        horizontal = Qt::AlignHCenter;
    else if (alignment_ == 2)
        horizontal = Qt::AlignRight;
    const int rowWidth = width() - 2 * kTextLeft;
    for (int i = 0; i < lines_.size(); ++i) {
        const QRect row(kTextLeft, kTextTop + lineHeight_ * i, rowWidth, lineHeight_);
        painter.drawText(row, horizontal | Qt::AlignVCenter | Qt::TextSingleLine, lines_[i]);
    }
}
