#include "panes/movie_view/video_surface.h"

#include "engine/video_renderer.h"
#include "platform/tsan_annotations.h"

#include <QPaintEvent>
#include <QPainter>

CVideoSurface::CVideoSurface(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CVideoSurface::~CVideoSurface()
{
    Attach(nullptr);
}

void CVideoSurface::Attach(std::shared_ptr<CFrameSlot> slot)
{
    if (slot_)
        slot_->SetRepaintRequest({});
    slot_ = std::move(slot);
    // The request runs on the streaming thread under the slot's lock, which
    // the destructor takes too, so `this` is alive whenever it is queued.
    if (slot_)
        slot_->SetRepaintRequest([this] { PostQueued(this, [this] { update(); }); });
    update();
}

void CVideoSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage frame = slot_ ? slot_->Current() : QImage();
    if (frame.isNull() || width() <= 0 || height() <= 0)
        return;
    QSize size = frame.size().scaled(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
}
