#include "mediainfo/mpeg_audio_header.h"

#include "mediainfo/id3v2_check.h"

#include <algorithm>

namespace {

// A sync word needs to show up this soon after the tags; past that the
// "frame" found would be a chance pattern in other data.
constexpr qsizetype kMaxSyncSearch = 64 * 1024;

std::uint32_t BigEndian32(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16
        | std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint32_t(std::uint8_t(b[at + 3]));
}

struct FrameHeader {
    int version = 0; // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
    int layer = 0; // 3 Layer I, 2 Layer II, 1 Layer III
    bool mono = false;
    int sampleRate = 0;
    int bitRate = 0; // bits per second
    // Bytes of the whole frame; Layer III only, else 0.
    qsizetype frameBytes = 0;
};

std::optional<FrameHeader> ParseFrameHeader(const QByteArray& b, qsizetype at)
{
    if (at + 4 > b.size() || std::uint8_t(b[at]) != 0xFF || (std::uint8_t(b[at + 1]) & 0xE0) != 0xE0)
        return std::nullopt;
    FrameHeader h;
    h.version = (std::uint8_t(b[at + 1]) >> 3) & 3;
    h.layer = (std::uint8_t(b[at + 1]) >> 1) & 3;
    const int bitrateIndex = std::uint8_t(b[at + 2]) >> 4;
    const int rateIndex = (std::uint8_t(b[at + 2]) >> 2) & 3;
    if (h.version == 1 || h.layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static constexpr int kRates[] = { 44100, 48000, 32000 };
    h.sampleRate = kRates[rateIndex] >> (h.version == 3 ? 0 : h.version == 2 ? 1 : 2);
    h.mono = (std::uint8_t(b[at + 3]) >> 6) == 3;
    if (h.layer == 1) {
        static constexpr int kMpeg1[] = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
        static constexpr int kMpeg2[] = { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 };
        h.bitRate = (h.version == 3 ? kMpeg1 : kMpeg2)[bitrateIndex] * 1000;
        const bool padded = (std::uint8_t(b[at + 2]) >> 1) & 1;
        h.frameBytes = (h.version == 3 ? 144 : 72) * h.bitRate / h.sampleRate + (padded ? 1 : 0);
    }
    return h;
}

} // namespace

std::optional<MpegAudioFrameCount> ReadMpegAudioFrameCount(const QByteArray& bytes)
{
    qsizetype start = 0;
    for (qsizetype end = Id3v2TagEnd(bytes, 0); end >= 0; end = Id3v2TagEnd(bytes, end))
        start = end;
    std::optional<FrameHeader> header;
    const qsizetype last = std::min(bytes.size(), start + kMaxSyncSearch);
    for (; start < last && !(header = ParseFrameHeader(bytes, start)); ++start) { }
    if (!header || header->layer != 1)
        return std::nullopt; // frame-count headers live in Layer III frames

    // The header follows the side information, whose size depends on the
    // version and the number of channels.
    const bool mpeg1 = header->version == 3;
    const qsizetype sideInfo = mpeg1 ? (header->mono ? 17 : 32) : (header->mono ? 9 : 17);
    const qsizetype at = start + 4 + sideInfo;
    if (at + 16 > bytes.size())
        return std::nullopt;
    const QByteArray tag = bytes.mid(at, 4);
    if (tag != "Xing" && tag != "Info")
        return std::nullopt;
    const std::uint32_t flags = BigEndian32(bytes, at + 4);
    if (!(flags & 1))
        return std::nullopt;
    MpegAudioFrameCount count;
    count.frameStart = start;
    count.variableRate = tag == "Xing";
    count.frames = BigEndian32(bytes, at + 8);
    count.bytes = (flags & 2) ? BigEndian32(bytes, at + 12) : 0;
    count.samplesPerFrame = mpeg1 ? 1152 : 576;
    count.sampleRate = header->sampleRate;
    if (const auto next = ParseFrameHeader(bytes, start + header->frameBytes))
        count.streamBitRate = next->bitRate;
    return count;
}

int PlayingSeconds(const MpegAudioFrameCount& count, std::int64_t audioBytes)
{
    if (count.sampleRate <= 0)
        return 0;
    double seconds = double(count.frames) * count.samplesPerFrame / count.sampleRate;
    if (count.bytes > 0 && audioBytes >= 0 && audioBytes < std::int64_t(count.bytes))
        seconds *= double(audioBytes) / count.bytes;
    return int(seconds);
}
