#include "project/clip_text.h"

#include <QFileInfo>

#include <cmath>

QString DurationText(std::int64_t ms)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
    return QString::asprintf("%.2ld:%.2ld:%.2ld", long(seconds / 3600), long(seconds / 60 % 60), long(seconds % 60));
}

QString ClipInfoLine(const CMediaFile& clip, std::int64_t fileBytes)
{
    const QString fileName = QFileInfo(clip.path()).fileName();
    const double megabytes = double(std::max<std::int64_t>(0, fileBytes)) / 1048576.0;
    const QString length = DurationText(clip.sourceLength());
    const QString type = QFileInfo(clip.path()).suffix();
    if (clip.width() > 0 && clip.height() > 0) {
        const QString size = QString::asprintf("%d * %d", clip.width(), clip.height());
        return QString::asprintf("%s           %.2fMB    %s    %s    %s", qUtf8Printable(fileName), megabytes,
            qUtf8Printable(length), qUtf8Printable(size), qUtf8Printable(type));
    }
    return QString::asprintf("%s           %.2fMB    %s    %s", qUtf8Printable(fileName), megabytes,
        qUtf8Printable(length), qUtf8Printable(type));
}

std::uint32_t WholeSecondsMs(double seconds)
{
    if (!(seconds > 0))
        return 0;
    const double whole = std::floor(seconds);
    if (whole >= double(UINT32_MAX / 1000))
        return std::uint32_t(UINT32_MAX / 1000) * 1000;
    return std::uint32_t(whole) * 1000;
}
