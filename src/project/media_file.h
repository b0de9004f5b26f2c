// The clip record and the project's three tracks.
//
// A CMediaFile names a source file and says which part of it is used and where
// it lies on the timeline. It is a value type, copied freely. A record is
// either empty (holds no clip) or filled; the checked setters refuse to change
// an empty record so that a half-made clip never reaches a track.
//
// The project is three ordered lists of records (video, audio, voice); clips of
// a list lie back to back, so a clip's timeline start is the sum of the lengths
// before it (see CClipTrack::Layout). The timeline window owns the lists for
// the editor's whole life and hands them to the previews and the save flow as
// a read-only CTimelineProject.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// Media kinds of a record. Other values are never routed to a track.
namespace ClipKind {
inline constexpr std::int32_t None = 0;
inline constexpr std::int32_t VideoWithSound = 1;
inline constexpr std::int32_t Sound = 2;
inline constexpr std::int32_t Voice = 3;
inline constexpr std::int32_t VideoOnly = 6;
} // namespace ClipKind

// Track numbers, also the target values of the pane messages (3 is the whole
// edited movie).
enum TrackIndex : int { kVideoTrack = 0, kAudioTrack = 1, kVoiceTrack = 2, kTrackCount = 3 };
inline constexpr int kWholeMovie = 3;

// A clip's box in its track view, in view pixels; right and bottom exclusive.
struct MediaRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const MediaRect&) const = default;
};

class CMediaFile {
public:
    // An empty record: texts empty, numbers 0, empty flag set.
    CMediaFile() = default;
    // A filled record for the whole of a file: sourceLength = length = the
    // given length (ms), mediaStart = timelineStart = 0.
    CMediaFile(const QString& path, std::uint32_t length, std::int32_t width, std::int32_t height, std::int32_t kind);

    // Plain value copies (containers rely on them).
    CMediaFile(const CMediaFile&) = default;
    CMediaFile& operator=(const CMediaFile&) = default;
    // The record's own assignment: copies every field of other and reports
    // true, or reports false and changes nothing when other is empty.
    bool Assign(const CMediaFile& other);

    // Takes a new source file: kind from the file's ending (video endings 1,
    // sound endings 2, others leave it), sizes, source length, timeline start,
    // selection and box reset, record filled. False (no change) for an empty path.
    bool SetFile(const QString& path);

    // Checked setters: false and no change while the record is empty.
    bool SetKind(std::int32_t kind);
    bool SetWidth(std::int32_t width);
    bool SetHeight(std::int32_t height);
    bool SetSize(std::int32_t width, std::int32_t height);
    bool SetLength(std::uint32_t length);
    bool SetMediaStart(std::uint32_t mediaStart);
    bool SetTimelineStart(std::uint32_t timelineStart);
    bool SetTrim(std::uint32_t mediaStart, std::uint32_t length);
    bool SetPlacement(std::uint32_t timelineStart, std::uint32_t length);

    // Unchecked setters.
    void SetTimes(std::uint32_t mediaStart, std::uint32_t length, std::uint32_t sourceLength);
    void SetRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    void SetRectXYWH(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    void SetRect(const MediaRect& rect);

    void SetSelected(bool selected) { selected_ = selected ? 1 : 0; }
    bool IsSelected() const { return selected_ != 0; }
    bool IsEmpty() const { return empty_ != 0; }
    // Back to the empty record.
    void Clear() { *this = CMediaFile(); }

    std::uint32_t sourceLength() const { return sourceLength_; }
    std::uint32_t length() const { return length_; }
    std::uint32_t mediaStart() const { return mediaStart_; }
    std::uint32_t timelineStart() const { return timelineStart_; }
    // mediaStart + length: where the used part ends inside the source (ms).
    std::uint32_t mediaStop() const { return mediaStart_ + length_; }
    // timelineStart + length: where the clip ends on the timeline (ms).
    std::uint32_t timelineStop() const { return timelineStart_ + length_; }
    const QString& path() const { return path_; }
    const QString& name() const { return name_; }
    std::int32_t kind() const { return kind_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    const MediaRect& rect() const { return rect_; }

    // The display name of a path: the file name without its extension (five
    // characters cut after ".MPEG", four otherwise).
    static QString NameFromPath(const QString& path);

private:
    std::uint32_t sourceLength_ = 0;
    std::uint32_t length_ = 0;
    std::uint32_t mediaStart_ = 0;
    std::uint32_t timelineStart_ = 0;
    QString path_;
    QString name_;
    std::int32_t kind_ = ClipKind::None;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    MediaRect rect_;
    std::int32_t empty_ = 1;
    std::int32_t selected_ = 0;
};

using CMediaFileList = std::vector<CMediaFile>;

// The three tracks as the previews and the save flow read them (the lParam of
// messages 0x5016 with target 3, 0x5031 and 0x5032). Readers copy what they
// keep; the lists change only on the UI thread.
class CTimelineProject {
public:
    virtual ~CTimelineProject() = default;
    // index is kVideoTrack, kAudioTrack or kVoiceTrack.
    virtual const CMediaFileList& track(int index) const = 0;
    // True when all three tracks are empty.
    bool IsEmpty() const
    {
        return track(kVideoTrack).empty() && track(kAudioTrack).empty() && track(kVoiceTrack).empty();
    }
};
