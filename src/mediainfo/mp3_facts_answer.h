// The answer of the MP3 facts helper (tools/cw-mp3-facts): what id3lib
// reported about one file, as plain numbers and tag texts. The helper writes
// it, MP3FileInfo reads it; the component itself never parses a tag.
//
// The answer is text, one fact a line, "name value"; a tag text is
// "text FRAME value" with "\" written "\\" and a line break "\n". It starts
// with the line "cw-mp3-facts 1" and ends with "end", so an answer cut
// short by a crash is no answer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The tag texts the answer carries, by frame identifier, in the order of
// Mp3Answer::texts.
inline constexpr std::array<const char*, 11> kMp3TextFrames
    = { "TALB", "TPE1", "COMM", "TIT2", "TRCK", "TYER", "TCOM", "TCOP", "TENC", "TOPE", "WXXX" };

struct Mp3Answer {
    bool hasLyrics = false;
    bool hasV1Tag = false;
    bool hasV2Tag = false;
    std::uint32_t fileSize = 0xFFFFFFFFu;
    // The MPEG header as id3lib gives it: bits per second, Hz, seconds, and
    // the layer, version and channel mode codes.
    std::int32_t bitRate = 0;
    std::int32_t vbrBitRate = 0;
    std::int32_t sampleRate = 0;
    std::int32_t playingTime = 0;
    std::int32_t layer = 0;
    std::int32_t version = 0;
    std::int32_t channelMode = 0;
    // One per kMp3TextFrames entry; empty when the frame is absent.
    std::array<std::optional<std::string>, kMp3TextFrames.size()> texts;
};

std::string WriteMp3Answer(const Mp3Answer& answer);
// The answer in text; empty when text is not a whole answer (cut short,
// a fact missing or twice, a number out of range, an unknown line).
std::optional<Mp3Answer> ReadMp3Answer(std::string_view text);
