#include "skin/work_dialog_base.h"

#include "platform/dialog_service.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>

namespace {
const QColor kFrameColour(66, 92, 152);
} // namespace

CWorkDialogBase::CWorkDialogBase(QWidget* parent, std::uint32_t closeMessage, QSize clientSize)
    : MessageWindow<QDialog>(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , closeMessage_(closeMessage)
{
    setFixedSize(clientSize);
    selfClosingTimer_.setSingleShot(true);
    selfClosingTimer_.setInterval(kSelfClosingMs);
    connect(&selfClosingTimer_, &QTimer::timeout, this, [this] { done(IDCANCEL); });
}

void CWorkDialogBase::SetResourceCallbacks(HostTextCallback text, HostImageCallback image)
{
    lookup_.SetResourceCallbacks(text, image);
}

void CWorkDialogBase::SetTitle(const QString& title)
{
    title_ = title;
    setWindowTitle(title);
    update();
}

int CWorkDialogBase::DoModal()
{
    return Dialogs().runModal(this);
}

void CWorkDialogBase::showEvent(QShowEvent* e)
{
    if (!running_) {
        running_ = true;
        createWorkWindow();
        if (selfClosing_)
            selfClosingTimer_.start();
    }
    MessageWindow<QDialog>::showEvent(e);
}

void CWorkDialogBase::done(int result)
{
    selfClosingTimer_.stop();
    const bool wasRunning = running_;
    running_ = false;
    MessageWindow<QDialog>::done(result);
    if (wasRunning)
        destroyWorkWindow();
}

void CWorkDialogBase::reject()
{
    QAbstractButton* cancel = cancelButton();
    if (running_ && cancel && cancel->isEnabled())
        cancel->click();
}

LRESULT CWorkDialogBase::onMessage(std::uint32_t message, WPARAM, LPARAM, bool& handled)
{
    if (message != closeMessage_) {
        handled = false;
        return 0;
    }
    if (running_)
        done(kClosedByWork);
    return 0;
}

void CWorkDialogBase::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kFrameColour);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(15);
    font.setWeight(QFont::Bold);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(14, 8, width() - 28, 26), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title_);
}

void CWorkDialogBase::resizeEvent(QResizeEvent* e)
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, width() + 1, height() + 1), 5.5, 5.5);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
    MessageWindow<QDialog>::resizeEvent(e);
}
