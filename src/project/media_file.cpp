#include "project/media_file.h"

#include <array>

namespace {

bool EndsWithAny(const QString& path, const auto& suffixes)
{
    for (const char* suffix : suffixes) {
        if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

constexpr std::array kVideoEndings { ".AVI", ".MPG", ".MPEG", ".WMV", ".3GP", ".3G2", ".K3G", ".MP4", ".SKM" };
constexpr std::array kSoundEndings { ".MP3", ".WAV" };

} // namespace

CMediaFile::CMediaFile(
    const QString& path, std::uint32_t length, std::int32_t width, std::int32_t height, std::int32_t kind)
    : sourceLength_(length)
    , length_(length)
    , path_(path)
    , name_(NameFromPath(path))
    , kind_(kind)
    , width_(width)
    , height_(height)
    , empty_(0)
{ }

QString CMediaFile::NameFromPath(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString fileName = path.mid(slash + 1);
    const int cut = fileName.endsWith(QLatin1String(".MPEG"), Qt::CaseInsensitive) ? 5 : 4;
    return fileName.left(std::max(0, int(fileName.size()) - cut));
}

bool CMediaFile::Assign(const CMediaFile& other)
{
    if (other.IsEmpty())
        return false;
    *this = other;
    return true;
}

bool CMediaFile::SetFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    path_ = path;
    name_ = NameFromPath(path);
    if (EndsWithAny(path, kVideoEndings))
        kind_ = ClipKind::VideoWithSound;
    else if (EndsWithAny(path, kSoundEndings))
        kind_ = ClipKind::Sound;
    width_ = height_ = 0;
    sourceLength_ = 0;
    timelineStart_ = 0;
    selected_ = 0;
    rect_ = MediaRect {};
    empty_ = 0;
    return true;
}

bool CMediaFile::SetKind(std::int32_t kind)
{
    if (IsEmpty())
        return false;
    kind_ = kind;
    return true;
}

bool CMediaFile::SetWidth(std::int32_t width)
{
    if (IsEmpty())
        return false;
    width_ = width;
    return true;
}

bool CMediaFile::SetHeight(std::int32_t height)
{
    if (IsEmpty())
        return false;
    height_ = height;
    return true;
}

bool CMediaFile::SetSize(std::int32_t width, std::int32_t height)
{
    if (IsEmpty())
        return false;
    width_ = width;
    height_ = height;
    return true;
}

bool CMediaFile::SetLength(std::uint32_t length)
{
    if (IsEmpty())
        return false;
    length_ = length;
    return true;
}

bool CMediaFile::SetMediaStart(std::uint32_t mediaStart)
{
    if (IsEmpty())
        return false;
    mediaStart_ = mediaStart;
    return true;
}

bool CMediaFile::SetTimelineStart(std::uint32_t timelineStart)
{
    if (IsEmpty())
        return false;
    timelineStart_ = timelineStart;
    return true;
}

bool CMediaFile::SetTrim(std::uint32_t mediaStart, std::uint32_t length)
{
    if (IsEmpty())
        return false;
    mediaStart_ = mediaStart;
    length_ = length;
    return true;
}

bool CMediaFile::SetPlacement(std::uint32_t timelineStart, std::uint32_t length)
{
    if (IsEmpty())
        return false;
    timelineStart_ = timelineStart;
    length_ = length;
    return true;
}

void CMediaFile::SetTimes(std::uint32_t mediaStart, std::uint32_t length, std::uint32_t sourceLength)
{
    mediaStart_ = mediaStart;
    length_ = length;
    sourceLength_ = sourceLength;
}

void CMediaFile::SetRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    rect_ = MediaRect { left, top, right, bottom };
}

void CMediaFile::SetRectXYWH(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
{
    rect_ = MediaRect { x, y, x + width, y + height };
}

void CMediaFile::SetRect(const MediaRect& rect)
{
    rect_ = rect;
}
