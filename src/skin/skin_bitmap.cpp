#include "skin/skin_bitmap.h"

#include "platform/dialog_service.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <thread>

int SkinBitmap::width() const
{
    return static_cast<int>(std::lround(image_.deviceIndependentSize().width()));
}

int SkinBitmap::height() const
{
    return static_cast<int>(std::lround(image_.deviceIndependentSize().height()));
}

void SkinBitmap::draw(QPainter& p, int x, int y) const
{
    if (!image_.isNull())
        p.drawImage(QPoint(x, y), image_);
}

void SkinBitmap::draw(QPainter& p, const QRect& target, const QRect& source) const
{
    if (image_.isNull() || target.isEmpty() || source.isEmpty())
        return;
    // The source rectangle is in the image's own pixels.
    const qreal r = image_.devicePixelRatio();
    p.drawImage(
        QRectF(target), image_, QRectF(source.x() * r, source.y() * r, source.width() * r, source.height() * r));
}

void SkinBitmap::drawFrame(QPainter& p, const QRect& target, int index, int frames) const
{
    const int w = frames > 0 ? width() / frames : 0;
    draw(p, target, QRect(index * w, 0, w, height()));
}

void SkinBitmap::tileHorizontally(QPainter& p, const QRect& area) const
{
    const int w = width();
    if (image_.isNull() || w <= 0 || area.isEmpty())
        return;
    p.save();
    p.setClipRect(area, Qt::IntersectClip);
    const int end = area.left() + area.width();
    for (int x = area.left(); x < end; x += w)
        draw(p, std::min(x, end - w), area.top());
    p.restore();
}

void SkinBitmap::tileVertically(QPainter& p, const QRect& area) const
{
    const int h = height();
    if (image_.isNull() || h <= 0 || area.isEmpty())
        return;
    p.save();
    p.setClipRect(area, Qt::IntersectClip);
    const int end = area.top() + area.height();
    for (int y = area.top(); y < end; y += h)
        draw(p, area.left(), std::min(y, end - h));
    p.restore();
}

QString HighDpiSkinPath(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    if (suffix.isEmpty())
        return path + QStringLiteral("@2x");
    return path.left(path.size() - suffix.size() - 1) + QStringLiteral("@2x.") + suffix;
}

void WarnSkinFileNotFound(const QString& path)
{
    Dialogs().messageBox(nullptr, QStringLiteral("%1 %2").arg(path, QStringLiteral("File not found!")),
        QStringLiteral("Warning"), MB_OK);
}

bool LoadSkinBitmap(SkinBitmap& holder, const QString& path, bool warn)
{
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path)) {
        if (warn)
            WarnSkinFileNotFound(path);
        return false;
    }
    holder.clear();
    QImage image;
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    if (ratio > 1.0) {
        const QString big = HighDpiSkinPath(path);
        if (QFileInfo::exists(big) && image.load(big))
            image.setDevicePixelRatio(2.0);
    }
    if (image.isNull() && image.load(path))
        image.setDevicePixelRatio(1.0);
    holder.attach(image);
    // The loader pauses briefly after each image, as the skin code expects.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (image.isNull() && warn)
        WarnSkinFileNotFound(path);
    return !image.isNull();
}

bool LoadSkinBitmap(SkinBitmap& holder, const ResourceLookup& lookup, const QString& section, const QString& key)
{
    return LoadSkinBitmap(holder, lookup.GetResourceImagePath(section, key));
}

QFont MakeSkinFont(const ResourceLookup& lookup, const QString& section, const QString& key, SkinFontRole role)
{
    QFont font(lookup.GetResourceText(section, key));
    switch (role) {
    case SkinFontRole::Pane:
        font.setPixelSize(11);
        font.setWeight(QFont::Bold);
        break;
    case SkinFontRole::ProgressWindow:
        font.setPixelSize(12);
        font.setWeight(QFont::Normal);
        break;
    case SkinFontRole::MessageBox:
        font.setPixelSize(12);
        font.setWeight(QFont::Bold);
        break;
    case SkinFontRole::EditMenuBar:
        // A positive height is the cell height: the character height is a little less.
        font.setPixelSize(9);
        font.setWeight(QFont::Bold);
        break;
    }
    return font;
}
