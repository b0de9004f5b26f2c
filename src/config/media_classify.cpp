#include "config/media_classify.h"

#include <array>

namespace {

constexpr std::array<const char*, 4> kPictureList { ".JPG", ".BMP", ".JPEG", ".GIF" };
// The last entry has no leading dot: any path containing SKM counts as video.
constexpr std::array<const char*, 9> kBrowserVideoList { ".AVI", ".MP4", ".K3G", ".MPEG", ".MPG", ".3G2", ".3GP",
    ".WMV", "SKM" };
constexpr std::array<const char*, 7> kBrowserAudioList { ".WAV", ".MID", ".MP3", ".AAC", ".AMR", ".IMY", ".QCP" };
constexpr std::array<const char*, 9> kEditableVideoList { ".AVI", ".MPG", ".MPEG", ".WMV", ".K3G", ".3G2", ".3GP",
    ".MP4", ".SKM" };
constexpr std::array<const char*, 2> kEditableAudioList { ".MP3", ".WAV" };
constexpr std::array<const char*, 5> kPhoneFormatList { ".3gp", ".3g2", ".k3g", ".mp4", ".skm" };

template <std::size_t N> bool containsAny(const QString& path, const std::array<const char*, N>& list)
{
    const QString upper = path.toUpper();
    for (const char* entry : list)
        if (upper.contains(QLatin1String(entry)))
            return true;
    return false;
}

// The last characters of the path (as many as the entry has) equal the entry.
template <std::size_t N> bool suffixAny(const QString& path, const std::array<const char*, N>& list)
{
    for (const char* entry : list)
        if (path.endsWith(QLatin1String(entry), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

bool IsPictureFile(const QString& path)
{
    return containsAny(path, kPictureList);
}

bool IsVideoFile(const QString& path)
{
    return containsAny(path, kBrowserVideoList);
}

bool IsAudioFile(const QString& path)
{
    return containsAny(path, kBrowserAudioList);
}

MediaKind BrowserMediaKind(const QString& path)
{
    if (IsVideoFile(path))
        return MediaKind::Video;
    if (IsAudioFile(path))
        return MediaKind::Audio;
    if (IsPictureFile(path))
        return MediaKind::Picture;
    return MediaKind::Unsupported;
}

MediaKind EditableMediaKind(const QString& path)
{
    if (suffixAny(path, kEditableVideoList))
        return MediaKind::Video;
    if (suffixAny(path, kEditableAudioList))
        return MediaKind::Audio;
    return MediaKind::Unsupported;
}

bool IsPhoneFormatFile(const QString& path)
{
    return suffixAny(path, kPhoneFormatList);
}
