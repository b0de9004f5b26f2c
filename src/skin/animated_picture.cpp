#include "skin/animated_picture.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <cmath>

CAnimatedPicture::CAnimatedPicture(QWidget* parent)
    : QWidget(parent)
{
    connect(&movie_, &QMovie::frameChanged, this, qOverload<>(&QWidget::update));
}

bool CAnimatedPicture::Load(const QString& path)
{
    movie_.stop();
    movie_.setFileName(QString());
    ratio_ = 1.0;
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path)) {
        WarnSkinFileNotFound(path);
        return false;
    }
    const QString big = HighDpiSkinPath(path);
    if (qGuiApp && qGuiApp->devicePixelRatio() > 1.0 && QFileInfo::exists(big)) {
        movie_.setFileName(big);
        ratio_ = 2.0;
    }
    if (!movie_.isValid()) {
        movie_.setFileName(path);
        ratio_ = 1.0;
    }
    if (!movie_.isValid() || !movie_.jumpToFrame(0)) {
        movie_.setFileName(QString());
        WarnSkinFileNotFound(path);
        return false;
    }
    resize(frameSize());
    updateGeometry();
    update();
    return true;
}

bool CAnimatedPicture::Load(const ResourceLookup& lookup, const QString& section, const QString& key)
{
    return Load(lookup.GetResourceImagePath(section, key));
}

void CAnimatedPicture::Start()
{
    if (movie_.isValid() && movie_.state() != QMovie::Running)
        movie_.start();
}

void CAnimatedPicture::Stop()
{
    movie_.stop();
}

QSize CAnimatedPicture::frameSize() const
{
    const QSize s = movie_.currentImage().size();
    return { static_cast<int>(std::lround(s.width() / ratio_)), static_cast<int>(std::lround(s.height() / ratio_)) };
}

QSize CAnimatedPicture::sizeHint() const
{
    return movie_.isValid() ? frameSize() : QSize(0, 0);
}

void CAnimatedPicture::paintEvent(QPaintEvent*)
{
    QImage frame = movie_.currentImage();
    if (frame.isNull())
        return;
    frame.setDevicePixelRatio(ratio_);
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame);
}
