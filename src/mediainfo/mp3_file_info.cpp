#include "mediainfo/mp3_file_info.h"

#include "mediainfo/id3v2_check.h"
#include "mediainfo/isolated_run.h"

#include <QFile>

#include <id3/tag.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// Longest time id3lib may take on one file in the trial run.
constexpr int kProbeTimeoutMs = 10000;

std::string Format(const char* pattern, int value)
{
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

const char* LayerName(int layer)
{
    switch (layer) {
    case MPEGLAYER_UNDEFINED:
        return "UNDEFINED";
    case MPEGLAYER_III:
        return "Layer III";
    case MPEGLAYER_II:
        return "Layer II";
    case MPEGLAYER_I:
        return "Layer I";
    default:
        return "";
    }
}

const char* VersionName(int version)
{
    switch (version) {
    case MPEGVERSION_2_5:
        return "MPEG 2.5";
    case MPEGVERSION_2:
        return "MPEG 2";
    case MPEGVERSION_1:
        return "MPEG 1";
    default:
        return "";
    }
}

const char* ChannelModeName(int mode)
{
    switch (mode) {
    case MP3CHANNELMODE_STEREO:
        return "Stereo";
    case MP3CHANNELMODE_JOINT_STEREO:
        return "Joint Stereo";
    case MP3CHANNELMODE_DUAL_CHANNEL:
        return "Dual Channel";
    case MP3CHANNELMODE_SINGLE_CHANNEL:
        return "Single Channel";
    default:
        return "";
    }
}

// id3lib reads whatever it is given; a folder, a pipe or a device would make
// it fail late or block, so only regular files are handed over.
bool IsRegularFile(const char* path)
{
    struct stat st;
    return path && *path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Every kind of tag, except version 2 tags that id3lib cannot read safely
// (see Id3v2TagsAreSafe); the header and the other tags are still read.
flags_t TagKindsToRead(const char* path)
{
    constexpr qsizetype kMaxTagBytes = 32 << 20;
    const flags_t all = ID3TT_ALL;
    const flags_t allButV2 = ID3TT_ALL & ~ID3TT_ID3V2;
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return all;
    QByteArray bytes = file.read(10);
    for (qsizetype end = Id3v2TagEnd(bytes, 0); end >= 0; end = Id3v2TagEnd(bytes, end)) {
        if (end > kMaxTagBytes)
            return allButV2; // no real tag is that large
        bytes += file.read(end + 10 - bytes.size());
        if (bytes.size() < end)
            break; // the tag runs past the end of the file
    }
    return Id3v2TagsAreSafe(bytes) ? all : allButV2;
}

} // namespace

MP3FileInfo::MP3FileInfo() = default;

MP3FileInfo::~MP3FileInfo()
{
    Clear();
}

void MP3FileInfo::Clear()
{
    if (!valid_)
        return;
    header_ = nullptr;
    tag_.reset();
    fileName_.clear();
    fileSize_ = 0xFFFFFFFFu;
    hasLyrics_ = hasV1Tag_ = hasV2Tag_ = false;
    bitRate_ = vbrBitRate_ = sampleRate_ = playingTime_ = 0;
    bitRateText_.clear();
    layerText_.clear();
    versionText_.clear();
    channelModeText_.clear();
    for (auto* text : { &album_, &artist_, &comment_, &title_, &track_, &year_, &composer_, &copyright_, &encodedBy_,
             &originalArtist_, &userUrl_ })
        text->reset();
    valid_ = false;
}

bool MP3FileInfo::Open(const char* fileName)
{
    Clear();
    if (!IsRegularFile(fileName))
        return false;
    // id3lib is first tried on the file in a child process; a version 2 tag
    // that makes it fail there is passed over, and a file it cannot read at
    // all is not opened here.
    flags_t kinds = TagKindsToRead(fileName);
    const auto survives = [fileName](flags_t k) {
        return RunIsolated(
            [fileName, k] {
                MP3FileInfo probe;
                probe.Read(fileName, k);
            },
            kProbeTimeoutMs);
    };
    if (!survives(kinds)) {
        const flags_t withoutV2 = kinds & ~flags_t(ID3TT_ID3V2);
        if (withoutV2 == kinds || !survives(withoutV2))
            return false;
        kinds = withoutV2;
    }
    return Read(fileName, kinds);
}

bool MP3FileInfo::Read(const char* fileName, flags_t kinds)
{
    Clear();
    valid_ = true; // from here on Clear undoes a partial read
    fileName_ = fileName;
    tag_ = std::make_unique<ID3_Tag>();
    tag_->Link(fileName, kinds);
    hasLyrics_ = tag_->HasLyrics();
    hasV1Tag_ = tag_->HasV1Tag();
    hasV2Tag_ = tag_->HasV2Tag();
    fileSize_ = std::uint32_t(tag_->GetFileSize());
    header_ = tag_->GetMp3HeaderInfo();
    if (!header_) {
        Clear();
        return false;
    }
    ReadHeader(*header_);
    ReadTexts();
    return true;
}

void MP3FileInfo::ReadHeader(const Mp3_Headerinfo& header)
{
    bitRate_ = int(header.bitrate);
    vbrBitRate_ = int(header.vbr_bitrate);
    sampleRate_ = int(header.frequency);
    playingTime_ = int(header.time);
    bitRateText_
        = vbrBitRate_ < 1 ? Format("%i kbit/s", bitRate_ / 1000) : Format("%i kbit/s (VBR)", vbrBitRate_ / 1000);
    layerText_ = LayerName(header.layer);
    versionText_ = VersionName(header.version);
    channelModeText_ = ChannelModeName(header.channelmode);
}

void MP3FileInfo::ReadTexts()
{
    album_ = ReadText(ID3FID_ALBUM);
    artist_ = ReadText(ID3FID_LEADARTIST);
    comment_ = ReadText(ID3FID_COMMENT);
    title_ = ReadText(ID3FID_TITLE);
    track_ = ReadText(ID3FID_TRACKNUM);
    year_ = ReadText(ID3FID_YEAR);
    composer_ = ReadText(ID3FID_COMPOSER);
    copyright_ = ReadText(ID3FID_COPYRIGHT);
    encodedBy_ = ReadText(ID3FID_ENCODEDBY);
    originalArtist_ = ReadText(ID3FID_ORIGARTIST);
    userUrl_ = ReadText(ID3FID_WWWUSER);
}

std::optional<std::string> MP3FileInfo::ReadText(int frameId) const
{
    const ID3_Frame* frame = tag_->Find(ID3_FrameID(frameId));
    if (!frame || !frame->Contains(ID3FN_TEXTENC))
        return std::nullopt;
    ID3_Field* field = nullptr;
    if (frame->Contains(ID3FN_TEXT))
        field = frame->GetField(ID3FN_TEXT);
    else if (frame->Contains(ID3FN_URL))
        field = frame->GetField(ID3FN_URL);
    if (!field)
        return std::nullopt;
    field->SetEncoding(ID3TE_ASCII);
    const char* raw = field->GetRawText();
    return std::string(raw ? raw : "");
}
