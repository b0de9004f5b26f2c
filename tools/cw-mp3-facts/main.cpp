// cw-mp3-facts: reads one MP3 file with id3lib and writes what it found to
// standard output as an answer of mediainfo/mp3_facts_answer.h. The editor
// runs it as a process of its own (MP3FileInfo), since id3lib's tag parser
// has memory faults that malformed tags reach: a crash or a hang here costs
// only the facts of that file.
//
//   cw-mp3-facts FILE
//
// Exit status: 0 the answer was written; 1 id3lib found no MPEG audio frame
// (nothing written); 2 wrong arguments.
#include "mediainfo/id3v2_check.h"
#include "mediainfo/mp3_facts_answer.h"
#include "mediainfo/mpeg_audio_header.h"

#include <QFile>

#include <id3/tag.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// The frames of kMp3TextFrames, in its order.
constexpr ID3_FrameID kTextFrameIds[]
    = { ID3FID_ALBUM, ID3FID_LEADARTIST, ID3FID_COMMENT, ID3FID_TITLE, ID3FID_TRACKNUM, ID3FID_YEAR, ID3FID_COMPOSER,
          ID3FID_COPYRIGHT, ID3FID_ENCODEDBY, ID3FID_ORIGARTIST, ID3FID_WWWUSER };
static_assert(std::size(kTextFrameIds) == kMp3TextFrames.size());

// The first bytes of the file: its version 2 tags and what follows them,
// enough for the first audio frame (empty when the file cannot be read).
QByteArray ReadHead(const char* path)
{
    constexpr qsizetype kMaxTagBytes = 32 << 20;
    constexpr qsizetype kPastTags = 72 * 1024;
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(10);
    qsizetype tagsEnd = 0;
    for (qsizetype end = Id3v2TagEnd(bytes, 0); end >= 0 && end <= kMaxTagBytes; end = Id3v2TagEnd(bytes, end)) {
        bytes += file.read(end + 10 - bytes.size());
        tagsEnd = end;
        if (bytes.size() < end)
            break; // the tag runs past the end of the file
    }
    return bytes + file.read(tagsEnd + kPastTags - bytes.size());
}

// Every kind of tag, except version 2 tags that id3lib cannot read safely
// (see Id3v2TagsAreSafe) or that are larger than any real tag; the header
// and the other tags are still read.
flags_t TagKindsToRead(const QByteArray& head)
{
    constexpr qsizetype kMaxTagBytes = 32 << 20;
    for (qsizetype end = Id3v2TagEnd(head, 0); end >= 0; end = Id3v2TagEnd(head, end))
        if (end > kMaxTagBytes)
            return ID3TT_ALL & ~ID3TT_ID3V2;
    return Id3v2TagsAreSafe(head) ? ID3TT_ALL : ID3TT_ALL & ~ID3TT_ID3V2;
}

// The text of a frame: its text field, else its URL field, as ASCII.
std::optional<std::string> ReadText(const ID3_Tag& tag, ID3_FrameID id)
{
    const ID3_Frame* frame = tag.Find(id);
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !*argv[1]) {
        std::fputs("usage: cw-mp3-facts FILE\n", stderr);
        return 2;
    }
    const char* path = argv[1];
    const QByteArray head = ReadHead(path);
    ID3_Tag tag;
    tag.Link(path, TagKindsToRead(head));
    const Mp3_Headerinfo* header = tag.GetMp3HeaderInfo();
    if (!header)
        std::_Exit(1);
    Mp3Answer answer;
    answer.hasLyrics = tag.HasLyrics();
    answer.hasV1Tag = tag.HasV1Tag();
    answer.hasV2Tag = tag.HasV2Tag();
    answer.fileSize = std::uint32_t(tag.GetFileSize());
    answer.bitRate = std::int32_t(header->bitrate);
    answer.vbrBitRate = std::int32_t(header->vbr_bitrate);
    answer.sampleRate = std::int32_t(header->frequency);
    answer.playingTime = std::int32_t(header->time);
    answer.layer = std::int32_t(header->layer);
    answer.version = std::int32_t(header->version);
    answer.channelMode = std::int32_t(header->channelmode);
    // A frame-count header knows the playing time better than id3lib's
    // reckoning from the first frame (see mpeg_audio_header.h).
    if (const auto count = ReadMpegAudioFrameCount(head)) {
        const std::int64_t audioBytes = std::int64_t(answer.fileSize) - count->frameStart - (answer.hasV1Tag ? 128 : 0);
        answer.playingTime = PlayingSeconds(*count, audioBytes);
        if (!count->variableRate && count->streamBitRate > 0)
            answer.bitRate = count->streamBitRate;
        if (count->variableRate && answer.vbrBitRate <= 0 && answer.playingTime > 0 && count->bytes > 0)
            answer.vbrBitRate = std::int32_t(std::int64_t(count->bytes) * 8 / answer.playingTime);
    }
    for (std::size_t i = 0; i < kMp3TextFrames.size(); ++i)
        answer.texts[i] = ReadText(tag, kTextFrameIds[i]);
    const std::string text = WriteMp3Answer(answer);
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    // Out without destroying the tag or running exit handlers: after a
    // damaged tag id3lib's state is not to be trusted, and what the process
    // leaves behind goes with it.
    std::_Exit(written ? 0 : 1);
}
