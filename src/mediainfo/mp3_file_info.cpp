#include "mediainfo/mp3_file_info.h"

#include "mediainfo/mp3_facts_answer.h"
#include "platform/helper_process.h"

#include <cstdio>
#include <iterator>
#include <sys/stat.h>

namespace {

// The helper program that runs id3lib (tools/cw-mp3-facts).
constexpr const char* kHelperName = "cw-mp3-facts";
// Longest time the helper may take on one file.
constexpr int kHelperTimeoutMs = 10000;
// More answer than this is no answer: the tags of a real file say far less.
constexpr std::size_t kMaxAnswerBytes = 16 << 20;

std::string Format(const char* pattern, int value)
{
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

const char* LayerName(int layer)
{
    switch (layer) {
    case 0:
        return "UNDEFINED";
    case 1:
        return "Layer III";
    case 2:
        return "Layer II";
    case 3:
        return "Layer I";
    default:
        return "";
    }
}

const char* VersionName(int version)
{
    switch (version) {
    case 0:
        return "MPEG 2.5";
    case 2: // 1 is reserved
        return "MPEG 2";
    case 3:
        return "MPEG 1";
    default:
        return "";
    }
}

const char* ChannelModeName(int mode)
{
    switch (mode) {
    case 0:
        return "Stereo";
    case 1:
        return "Joint Stereo";
    case 2:
        return "Dual Channel";
    case 3:
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
    const std::string helper = FindHelperProgram(kHelperName);
    if (helper.empty())
        return false;
    const HelperRun run = RunHelper(helper, { fileName }, kHelperTimeoutMs, kMaxAnswerBytes);
    const std::optional<Mp3Answer> answer = run.Succeeded() ? ReadMp3Answer(run.output) : std::nullopt;
    if (!answer)
        return false;

    valid_ = true;
    fileName_ = fileName;
    hasLyrics_ = answer->hasLyrics;
    hasV1Tag_ = answer->hasV1Tag;
    hasV2Tag_ = answer->hasV2Tag;
    fileSize_ = answer->fileSize;
    bitRate_ = answer->bitRate;
    vbrBitRate_ = answer->vbrBitRate;
    sampleRate_ = answer->sampleRate;
    playingTime_ = answer->playingTime;
    bitRateText_
        = vbrBitRate_ < 1 ? Format("%i kbit/s", bitRate_ / 1000) : Format("%i kbit/s (VBR)", vbrBitRate_ / 1000);
    layerText_ = LayerName(answer->layer);
    versionText_ = VersionName(answer->version);
    channelModeText_ = ChannelModeName(answer->channelMode);
    // In the order of kMp3TextFrames.
    std::optional<std::string>* texts[] = { &album_, &artist_, &comment_, &title_, &track_, &year_, &composer_,
        &copyright_, &encodedBy_, &originalArtist_, &userUrl_ };
    static_assert(std::size(texts) == kMp3TextFrames.size());
    for (std::size_t i = 0; i < kMp3TextFrames.size(); ++i)
        *texts[i] = answer->texts[i];
    return true;
}
