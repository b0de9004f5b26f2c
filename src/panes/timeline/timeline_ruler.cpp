#include "panes/timeline/timeline_ruler.h"

#include <QMouseEvent>
#include <QPainter>

#include <array>

namespace {

const QColor kTickColour(23, 59, 133);
// Ticks at least this far apart, labels at least this far apart (pixels).
constexpr qint64 kMinTickSpacing = 6;
constexpr qint64 kMinLabelSpacing = 64;

// The unit chain second, 15 seconds, minute, 15 minutes, hour in ms.
constexpr std::array<qint64, 5> kChainMs { 1000, 15000, 60000, 900000, 3600000 };

// The smallest unit of the chain (from the scale's own unit up) whose width
// is at least spacing pixels.
qint64 UnitFor(const TimelineScale& scale, qint64 spacing)
{
    for (qint64 unit : kChainMs) {
        if (unit < scale.unitMs())
            continue;
        if (scale.ToPixels(unit) >= spacing)
            return unit;
    }
    // Hours repeat beyond the chain.
    qint64 unit = kChainMs.back();
    while (scale.ToPixels(unit) < spacing)
        unit *= 4;
    return unit;
}

} // namespace

CCW_TimeLineRuler::CCW_TimeLineRuler(QWidget* parent)
    : MessageWindow<QWidget>(parent)
{
    setObjectName("CCW_TimeLineRuler");
    setProperty("controlId", 0x17E3);
    font_ = QFont("Arial");
    font_.setPixelSize(10);
}

void CCW_TimeLineRuler::LoadImages(const ResourceLookup& lookup)
{
    LoadSkinBitmap(strip_, lookup, "THEMEMANAGER_UI", "TM_UI_THEME_TOP_MID");
    LoadSkinBitmap(marker_, lookup, "IMAGE", "CW_TIMELINE_IMG_POSITION");
    update();
}

qint64 CCW_TimeLineRuler::TimeAt(int x) const
{
    return std::max<qint64>(0, scale_.ToMs(qint64(x) + scrollOffset_));
}

void CCW_TimeLineRuler::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!strip_.isNull())
        strip_.tileHorizontally(p, rect());
    const qint64 tick = UnitFor(scale_, kMinTickSpacing);
    const qint64 label = UnitFor(scale_, kMinLabelSpacing);
    // The ticks that show, from the first whole tick at the left edge.
    const qint64 leftMs = TimeAt(0);
    const qint64 rightMs = scale_.ToMs(qint64(width()) + scrollOffset_) + tick;
    p.setPen(QPen(kTickColour, 1));
    p.setFont(font_);
    const int h = height();
    for (qint64 t = leftMs / tick * tick; t <= rightMs; t += tick) {
        const qint64 x = scale_.ToPixels(t) - scrollOffset_;
        if (x < 0 || x >= width())
            continue;
        const bool labelled = t % label == 0;
        p.drawLine(int(x), h - (labelled ? 10 : 5), int(x), h - 1);
        if (labelled) {
            const qint64 s = t / 1000;
            p.drawText(
                int(x) + 2, h - 12, QString::asprintf("%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60)));
        }
    }
    if (positionShown_) {
        const qint64 x = scale_.ToPixels(position_) - scrollOffset_;
        if (x >= 0 && x < width()) {
            if (!marker_.isNull())
                marker_.draw(p, int(x) - marker_.width() / 2, h - marker_.height());
            else
                p.drawLine(int(x), 0, int(x), h);
        }
    }
}

void CCW_TimeLineRuler::Seek(int x)
{
    position_ = TimeAt(x);
    positionShown_ = true;
    update();
    SendMessage(parentWidget(), msg::SeekMovie, 0, LPARAM(position_));
}

void CCW_TimeLineRuler::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    seeking_ = true;
    Seek(event->position().toPoint().x());
}

void CCW_TimeLineRuler::mouseMoveEvent(QMouseEvent* event)
{
    if (seeking_)
        Seek(event->position().toPoint().x());
}

void CCW_TimeLineRuler::mouseReleaseEvent(QMouseEvent*)
{
    seeking_ = false;
}

LRESULT CCW_TimeLineRuler::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::SetZoom:
        if (scale_.SetZoom(lParam))
            update();
        return 0;
    case msg::SetScroll:
        scrollOffset_ = lParam;
        update();
        return 0;
    case msg::SeekMovie:
    case msg::PositionMarker:
        FollowMarker(message, wParam, lParam, positionShown_, position_);
        update();
        return 0;
    default:
        handled = false;
        return 0;
    }
}
