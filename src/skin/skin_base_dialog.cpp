#include "skin/skin_base_dialog.h"

#include "config/suite_settings.h"
#include "skin/dialog_button.h"
#include "skin/msg_box.h"
#include "skin/qt_dialog_service.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

namespace {

const QColor kFrameFill(66, 92, 152);
const QSize kCloseButtonSize(21, 20);
constexpr int kCloseButtonRightInset = 35;
constexpr int kCloseButtonTop = 6;
constexpr int kLogoRightInset = 10;
constexpr int kLogoBottomInset = 13;
constexpr int kTitleLeft = 14;

// The keys of the frame images, in the order of CSkinBaseDialog::Piece.
constexpr const char* kFrameKeys[] = { "TM_UI_TOPLEFT", "TM_UI_TOPRIGHT", "TM_UI_TOPMID", "TM_UI_MIDLEFT",
    "TM_UI_MIDRIGHT", "TM_UI_BOTTOMRIGHT", "TM_UI_BOTTOMMID", "TM_UI_BOTTOMLEFT", "TM_UI_LOGO", "TM_UI_SLOGAN" };

} // namespace

CSkinBaseDialog::CSkinBaseDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    closeButton_ = new CDialogButton(QStringLiteral("X"), kCloseButtonSize, this);
    closeButton_->setObjectName(QStringLiteral("BTN_UI_CLOSE"));
    closeButton_->setAutoDefault(false);
    closeButton_->setFocusPolicy(Qt::NoFocus);
    connect(closeButton_, &QPushButton::clicked, this, [this] { done(IDCANCEL); });

    titleFont_.setFamily(QStringLiteral("Arial"));
    titleFont_.setPixelSize(15);
    titleFont_.setWeight(QFont::Bold);
}

CSkinBaseDialog::~CSkinBaseDialog() = default;

void CSkinBaseDialog::SetTitle(const QString& title)
{
    title_ = title;
    setWindowTitle(title);
    update();
}

void CSkinBaseDialog::ShowLogo(bool show)
{
    logoShown_ = show;
    update();
}

void CSkinBaseDialog::HideCloseButton()
{
    closeHidden_ = true;
    closeButton_->hide();
}

void CSkinBaseDialog::SetMessage(const QString& text, int type)
{
    message_ = text;
    messageType_ = type;
    messageMode_ = true;
}

int CSkinBaseDialog::ShowMessage(const QString& text, int type)
{
    SetMessage(text, type);
    return exec();
}

int CSkinBaseDialog::DoModal()
{
    return Dialogs().runModal(this);
}

void CSkinBaseDialog::setVisible(bool visible)
{
    if (visible && !initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    if (visible && selfClosing_ && !isVisible())
        selfCloseTimer_.start(kSelfCloseMs, Qt::PreciseTimer, this);
    QDialog::setVisible(visible);
}

void CSkinBaseDialog::LoadFrameImages()
{
    for (std::size_t i = 0; i < frame_.size(); ++i)
        LoadSkinBitmap(frame_[i], GetResourceImagePath("THEMEMANAGER_UI", QString::fromLatin1(kFrameKeys[i])));
    closeButton_->LoadStrip(GetResourceImagePath("THEMEMANAGER_UI", "BTN_UI_CLOSE"));
}

void CSkinBaseDialog::OnInitDialog()
{
    if (skinned_)
        LoadFrameImages();
    closeButton_->setToolTip(GetResourceText("COMMON", "CLOSE_SKINDLG"));
    closeButton_->setVisible(!closeHidden_);
    if (!messageMode_)
        return;

    body_ = new CMsgBox(*this, this);
    body_->SetAlignment(alignment_);
    body_->SetMessage(message_, messageType_);
    connect(body_, &CMsgBox::chosen, this, &CSkinBaseDialog::done);
    // A huge message is cut down so that the dialog fits on the screen.
    QSize size = body_->size();
    const QSize margins(kMessageExtraWidth, kMessageExtraHeight);
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen)
        size = size.boundedTo(screen->availableGeometry().size() - margins);
    body_->resize(size);
    setFixedSize(size + margins);
    body_->move((width() - size.width()) / 2, kMessageTop);
    body_->show();
}

void CSkinBaseDialog::done(int result)
{
    selfCloseTimer_.stop();
    QDialog::done(result);
}

void CSkinBaseDialog::reject()
{
    done(IDCANCEL);
}

void CSkinBaseDialog::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == selfCloseTimer_.timerId()) {
        done(IDCANCEL);
        return;
    }
    QDialog::timerEvent(event);
}

void CSkinBaseDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    // The rounded rectangle from (0, 0) to (w + 1, h + 1), corner ellipses
    // 11 x 11.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, w + 1, h + 1), kCornerEllipse / 2.0, kCornerEllipse / 2.0);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
    closeButton_->setGeometry(QRect(QPoint(w - kCloseButtonRightInset, kCloseButtonTop), kCloseButtonSize));
    if (body_)
        body_->move((w - body_->width()) / 2, kMessageTop);
}

void CSkinBaseDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), kFrameFill);

    const SkinBitmap& tl = frame_[TopLeft];
    const SkinBitmap& tr = frame_[TopRight];
    const SkinBitmap& bl = frame_[BottomLeft];
    const SkinBitmap& br = frame_[BottomRight];
    auto draw = [&p](const SkinBitmap& piece, const QRect& target) {
        if (!piece.isNull() && target.width() > 0 && target.height() > 0)
            p.drawImage(target, piece.image());
    };
    // Corners unscaled; the middle pieces stretched between them.
    draw(tl, QRect(0, 0, tl.width(), tl.height()));
    draw(tr, QRect(w - tr.width(), 0, tr.width(), tr.height()));
    draw(bl, QRect(0, h - bl.height(), bl.width(), bl.height()));
    draw(br, QRect(w - br.width(), h - br.height(), br.width(), br.height()));
    draw(frame_[TopMid], QRect(tl.width(), 0, w - tl.width() - tr.width(), frame_[TopMid].height()));
    const int bottomMidHeight = frame_[BottomMid].height();
    draw(frame_[BottomMid], QRect(bl.width(), h - bottomMidHeight, w - bl.width() - br.width(), bottomMidHeight));
    draw(frame_[MidLeft], QRect(0, tl.height(), frame_[MidLeft].width(), h - tl.height() - bl.height()));
    const int midRightWidth = frame_[MidRight].width();
    draw(frame_[MidRight], QRect(w - midRightWidth, tr.height(), midRightWidth, h - tr.height() - br.height()));
    if (logoShown_) {
        const SkinBitmap& logo = frame_[Logo];
        draw(logo,
            QRect(
                w - kLogoRightInset - logo.width(), h - kLogoBottomInset - logo.height(), logo.width(), logo.height()));
    }

    if (!title_.isEmpty()) {
        p.setFont(titleFont_);
        p.setPen(Qt::white);
        const int right = closeHidden_ ? w - kTitleLeft : w - kCloseButtonRightInset - 4;
        const QRect titleRect(kTitleLeft, 0, std::max(0, right - kTitleLeft), kMessageTop);
        const QString shown = p.fontMetrics().elidedText(title_, Qt::ElideRight, titleRect.width());
        p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
}

void CSkinBaseDialog::mousePressEvent(QMouseEvent* event)
{
    // The title band moves the window, as a caption would.
    if (event->button() == Qt::LeftButton && event->position().y() < kMessageTop && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

int ShowSkinnedMessage(QWidget* owner, const SkinnedMessage& message)
{
    CSkinBaseDialog dialog(owner);
    dialog.SetResourceCallbacks(message.textCallback, message.imageCallback);
    dialog.SetSkinned(true);
    dialog.SetTitle(message.title.isEmpty() ? GetAppTitle() : message.title);
    dialog.SetSelfClosing(message.selfClosing);
    return dialog.ShowMessage(message.text, message.type);
}

void InstallSkinnedMessages()
{
    QtDialogService::setSkinnedPresenter(&ShowSkinnedMessage);
}
