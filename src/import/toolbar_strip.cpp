#include "import/toolbar_strip.h"

#include <QPainter>

namespace {
constexpr const char* kSection = "ME_TOOLBAR_UI";
} // namespace

CToolBarStrip::CToolBarStrip(const ResourceLookup& resources, const char* left, const char* mid, const char* right,
    const char* logo, QWidget* parent)
    : QWidget(parent)
{
    LoadSkinBitmap(left_, resources, kSection, left);
    LoadSkinBitmap(mid_, resources, kSection, mid);
    LoadSkinBitmap(right_, resources, kSection, right);
    if (logo)
        LoadSkinBitmap(logo_, resources, kSection, logo);
    const int height = std::max({ left_.height(), mid_.height(), right_.height(), 28 });
    setFixedHeight(height);
}

void CToolBarStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (mid_.isNull())
        p.fillRect(rect(), palette().button());
    else
        mid_.tileHorizontally(p, QRect(left_.width(), 0, width() - left_.width() - right_.width(), height()));
    left_.draw(p, 0, 0);
    right_.draw(p, width() - right_.width(), 0);
    if (!logo_.isNull())
        logo_.draw(p, left_.width(), (height() - logo_.height()) / 2);
}
