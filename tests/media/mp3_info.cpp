// MP3FileInfo on MP3 files made by the ffmpeg command (LAME, constant and
// variable rate, ID3 v1 and v2 tags) and tags added with id3lib; broken,
// truncated and non-MP3 inputs, and a tag that kills id3lib (which runs in
// the helper program, so only the facts are lost).
// test-links: cw_mediainfo cw_config cw_platform id3lib::id3
#include "mediainfo/mp3_file_info.h"

#include "platform/helper_process.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <id3/tag.h>
#include <random>
#include <tuple>

namespace {

class Mp3Info : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Constant rate, both tag versions.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=frequency=440:duration=3:sample_rate=44100", "-ac", "2",
            "-c:a", "libmp3lame", "-b:a", "128k", "-id3v2_version", "3", "-write_id3v1", "1", "-metadata", "title=Tone",
            "-metadata", "artist=Maker", "-metadata", "album=Album X", "-metadata", "track=7", "-metadata", "date=2024",
            "-metadata", "composer=Comp", "-metadata", "copyright=(c) me", "-metadata", "encoded_by=Enc", "-metadata",
            "comment=Note", Path("cbr.mp3") }));
        // Variable rate: LAME writes the average into its Xing frame.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "anoisesrc=d=4:c=pink:r=44100", "-ac", "2", "-c:a", "libmp3lame",
            "-q:a", "0", "-id3v2_version", "3", "-metadata", "title=Noise", Path("vbr.mp3") }));
        // Version 1 tag only (mono): both written, then the version 2 tag stripped.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=2", "-c:a", "libmp3lame", "-b:a", "64k",
            "-id3v2_version", "3", "-write_id3v1", "1", "-metadata", "title=T1", "-metadata", "artist=A1", "-metadata",
            "album=B1", "-metadata", "comment=C1", "-metadata", "track=3", "-metadata", "date=1999", Path("v1.mp3") }));
        // A mono variable-rate file, and a low constant rate whose header
        // frame LAME writes at a higher rate than the stream's.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "anoisesrc=d=3:r=44100", "-ac", "1", "-c:a", "libmp3lame", "-q:a",
            "4", Path("mono-vbr.mp3") }));
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=4:sample_rate=22050", "-c:a", "libmp3lame", "-b:a",
            "32k", Path("low-cbr.mp3") }));
        ID3_Tag tag;
        tag.Link(Local("v1.mp3").c_str(), ID3TT_ALL);
        tag.Strip(ID3TT_ID3V2);
    }
    static QString Path(const QString& name) { return MediaCache::Path(name); }
    static std::string Local(const QString& name) { return Path(name).toLocal8Bit().toStdString(); }

    static QByteArray Read(const QString& name) { return ReadFile(Path(name)); }
    static void Write(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(WriteFile(Path(name), bytes)); }

    static void ExpectCleared(const MP3FileInfo& info)
    {
        EXPECT_EQ(
            std::tuple(info.IsValid(), info.FileSize(), info.PlayingTime(), info.BitRate(), info.BitRateText(),
                info.FileName(), info.Title().has_value(), info.HasV1Tag() || info.HasV2Tag() || info.HasLyrics()),
            std::tuple(false, 0xFFFFFFFFu, 0, 0, std::string(), std::string(), false, false));
    }

    // Every tag text (album, artist, comment, title, track, year, composer,
    // copyright, encoded by, original artist, user URL), "-" when absent.
    static std::string Tags(const MP3FileInfo& i)
    {
        std::string out;
        for (const auto* text : { &i.Album(), &i.Artist(), &i.Comment(), &i.Title(), &i.Track(), &i.Year(),
                 &i.Composer(), &i.Copyright(), &i.EncodedBy(), &i.OriginalArtist(), &i.UserUrl() })
            out += text->value_or("-") + "|";
        return out;
    }
};

// Each file's header facts and tags. The playing time comes from the
// encoder's frame count where the first frame's rate would mislead: a mono
// Xing header, and a constant-rate Info frame written at a rate other than
// the stream's.
TEST_F(Mp3Info, HeaderFactsAndTags)
{
    const struct {
        const char* file;
        int seconds, sampleRate;
        const char* rate; // "VBR": the Xing frame's average
        const char* channels; // "": any stereo mode
        bool v1, v2;
        const char* tags;
    } rows[] = {
        { "cbr.mp3", 3, 44100, "128 kbit/s", "", true, true, "Album X|Maker|Note|Tone|7|2024|Comp|(c) me|Enc|-|-|" },
        { "vbr.mp3", 4, 44100, "VBR", "", false, true, "-|-|-|Noise|-|-|-|-|-|-|-|" },
        { "v1.mp3", 2, 44100, "64 kbit/s", "Single Channel", true, false, "B1|A1|C1|T1|3|1999|-|-|-|-|-|" },
        { "mono-vbr.mp3", 3, 44100, "VBR", "Single Channel", false, true, "-|-|-|-|-|-|-|-|-|-|-|" },
        { "low-cbr.mp3", 4, 22050, "32 kbit/s", "Single Channel", false, true, "-|-|-|-|-|-|-|-|-|-|-|" },
    };
    MP3FileInfo info;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        ASSERT_TRUE(info.Open(Local(r.file).c_str()));
        EXPECT_EQ(std::tuple(info.PlayingTime(), info.SampleRate(), info.HasV1Tag(), info.HasV2Tag(), info.HasLyrics(),
                      Tags(info)),
            std::tuple(r.seconds, r.sampleRate, r.v1, r.v2, false, std::string(r.tags)));
        if (QString(r.rate) == "VBR") {
            ASSERT_GT(info.VbrBitRate(), 0);
            EXPECT_EQ(info.EffectiveBitRate(), info.VbrBitRate());
            EXPECT_EQ(info.BitRateText(), std::to_string(info.VbrBitRate() / 1000) + " kbit/s (VBR)");
        } else {
            EXPECT_EQ(info.VbrBitRate(), 0);
            EXPECT_EQ(info.BitRateText(), r.rate);
        }
        if (*r.channels)
            EXPECT_EQ(info.ChannelModeText(), r.channels);
        else
            EXPECT_NE(info.ChannelModeText().find("Stereo"), std::string::npos);
    }
    ASSERT_TRUE(info.Open(Local("cbr.mp3").c_str()));
    EXPECT_EQ(
        std::tuple(info.FileName(), info.FileSize(), info.EffectiveBitRate(), info.LayerText(), info.VersionText()),
        std::tuple(Local("cbr.mp3"), std::uint32_t(QFileInfo(Path("cbr.mp3")).size()), 128000, std::string("Layer III"),
            std::string("MPEG 1")));
    info.Clear();
    ExpectCleared(info);
}

// The frames the ffmpeg command does not write (comment, original
// performer, user URL) come from a tag written with id3lib.
TEST_F(Mp3Info, FramesWrittenByTagLibrary)
{
    ASSERT_TRUE(QFile::copy(Path("vbr.mp3"), Path("id3lib.mp3")));
    {
        ID3_Tag tag;
        tag.Link(Local("id3lib.mp3").c_str(), ID3TT_ALL);
        // Attached, not added: id3lib's frame copy frees with the wrong size.
        auto* comment = new ID3_Frame(ID3FID_COMMENT);
        comment->GetField(ID3FN_LANGUAGE)->Set("eng");
        comment->GetField(ID3FN_TEXT)->Set("A comment");
        tag.AttachFrame(comment);
        auto* original = new ID3_Frame(ID3FID_ORIGARTIST);
        original->GetField(ID3FN_TEXT)->Set("First Performer");
        tag.AttachFrame(original);
        auto* url = new ID3_Frame(ID3FID_WWWUSER);
        url->GetField(ID3FN_DESCRIPTION)->Set("home");
        url->GetField(ID3FN_URL)->Set("http://example.org/");
        tag.AttachFrame(url);
        ASSERT_NE(tag.Update(ID3TT_ID3V2), ID3TT_NONE);
    }
    MP3FileInfo info;
    ASSERT_TRUE(info.Open(Local("id3lib.mp3").c_str()));
    EXPECT_TRUE(info.HasV2Tag());
    EXPECT_EQ(Tags(info), "-|-|A comment|Noise|-|-|-|-|-|First Performer|http://example.org/|");
}

TEST_F(Mp3Info, NotMp3InputsFailCleared)
{
    std::mt19937 rng(7);
    QByteArray noise(20000, '\0');
    for (char& c : noise)
        c = char(rng() & 0x7F); // no 0xFF, so no frame sync anywhere
    Write("noise.mp3", noise);
    Write("empty.mp3", QByteArray());
    ASSERT_TRUE(QDir().mkpath(Path("folder.mp3")));

    MP3FileInfo info;
    for (const char* name : { "noise.mp3", "empty.mp3", "folder.mp3", "missing.mp3" }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(info.Open(Local(name).c_str()));
        ExpectCleared(info);
    }
    EXPECT_FALSE(info.Open("") || info.Open(nullptr));
    // The same object reads a good file afterwards.
    EXPECT_TRUE(info.Open(Local("cbr.mp3").c_str()));
    EXPECT_EQ(info.Title().value_or("-"), "Tone");
}

// A tag cut short, a tag with a lying size and a file cut in the middle of
// the audio: either the facts of what is there or a clean failure.
TEST_F(Mp3Info, TruncatedAndDamagedTags)
{
    const QByteArray good = Read("cbr.mp3");
    ASSERT_GT(good.size(), 4000);
    Write("cut-tag.mp3", good.left(60));
    QByteArray lying = good;
    lying[6] = 0x7F; // tag size far beyond the file
    lying[7] = 0x7F;
    Write("lying-size.mp3", lying);
    QByteArray garbageTag = good;
    for (int i = 10; i < 200; ++i)
        garbageTag[i] = char(0xFF ^ i);
    Write("garbage-tag.mp3", garbageTag);
    Write("cut-audio.mp3", good.left(good.size() / 2));

    MP3FileInfo info;
    EXPECT_FALSE(info.Open(Local("cut-tag.mp3").c_str()));
    ExpectCleared(info);
    for (const char* name : { "lying-size.mp3", "garbage-tag.mp3" }) {
        SCOPED_TRACE(name);
        if (info.Open(Local(name).c_str()))
            EXPECT_EQ(info.LayerText(), "Layer III");
        else
            ExpectCleared(info);
    }
    ASSERT_TRUE(info.Open(Local("cut-audio.mp3").c_str()));
    EXPECT_EQ(info.BitRateText(), "128 kbit/s");
    EXPECT_LE(info.PlayingTime(), 2);
    EXPECT_FALSE(info.HasV1Tag()); // it was at the end
}

// Where the version 2 tag at the start of mp3 ends.
int TagEnd(const QByteArray& mp3)
{
    return 10 + ((mp3[6] & 0x7F) << 21 | (mp3[7] & 0x7F) << 14 | (mp3[8] & 0x7F) << 7 | (mp3[9] & 0x7F));
}

// A version 2.3 tag with one title frame whose body is stored compressed,
// in front of the audio and version 1 tag of cbr.mp3.
QByteArray TagWithCompressedTitle(const QByteArray& body, const QByteArray& mp3)
{
    QByteArray frame = "TIT2";
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(char((body.size() >> shift) & 0xFF));
    frame.append('\0').append('\x80').append(body); // format flags: compressed
    QByteArray tag = "ID3\x03";
    tag.append('\0').append('\0');
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.append(char((frame.size() >> shift) & 0x7F));
    tag.append(frame);
    return tag + mp3.mid(TagEnd(mp3));
}

// Found by fuzzing: id3lib's reader of compressed frames smashes its stack
// on 64-bit systems, with zlib data or without, and extended headers are
// read unsafely. Tags that hold them are passed over; the header and the
// version 1 tag are still read.
TEST_F(Mp3Info, TagsWithCompressedFramesArePassedOver)
{
    const QByteArray mp3 = Read("cbr.mp3");
    Write("zlib.mp3", TagWithCompressedTitle(qCompress(QByteArray("\0Squeezed", 9)), mp3));
    Write("bad-zlib.mp3", TagWithCompressedTitle(QByteArray("\0\0\0\x10garbage!", 12), mp3));
    Write("empty-zlib.mp3", TagWithCompressedTitle(QByteArray(), mp3));
    QByteArray extended = mp3;
    extended[5] = char(extended[5] | 0x40); // claims an extended header
    Write("extended.mp3", extended);
    // A clean tag first, the compressed frame in a second tag after it.
    Write("second-tag.mp3", mp3.left(TagEnd(mp3)) + TagWithCompressedTitle(QByteArray(), mp3));

    MP3FileInfo info;
    for (const char* name : { "zlib.mp3", "bad-zlib.mp3", "empty-zlib.mp3", "extended.mp3", "second-tag.mp3" }) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(info.Open(Local(name).c_str()));
        EXPECT_EQ(std::tuple(info.HasV2Tag(), info.HasV1Tag(), info.BitRateText(), info.Title().value_or("-")),
            std::tuple(false, true, std::string("128 kbit/s"), std::string("Tone")));
    }
}

// Found by fuzzing: a tag whose frames make id3lib read a frame header from
// inside the data of the frame before, where it finds the compression flag.
// id3lib dies on it in the helper; this process gives no facts and goes on.
TEST_F(Mp3Info, TagThatBreaksTheTagLibraryFailsCleanly)
{
    Write("fuzzed.mp3",
        QByteArray::fromBase64(
            "SUQzAwAAAAAAV1RJVDIAAAADSUQzA0lEMwMAAAAA/54lABgwVDIAAP//////////AANJRDMDAAAA/54lABgwAPj7"
            "EsQCg8VYHSD/4AAomwPjQa9oTMwJAAMAAAAAV1RJVDIAAAAAQQBUUAAACTMAAAAARTEAAAADAABMQQBCAFRCAAAA"
            "BAEAAAD/+xDEOAQzAwAAAEMAVFJDSwAAAAADAAA="));
    const HelperRun run = RunHelper(FindHelperProgram("cw-mp3-facts"), { Local("fuzzed.mp3") }, 10000, 1 << 20);
    EXPECT_FALSE(run.Succeeded()); // a crash (a report and exit status 1 in a sanitizer build)
    MP3FileInfo info;
    EXPECT_FALSE(info.Open(Local("fuzzed.mp3").c_str()));
    ExpectCleared(info);
    EXPECT_TRUE(info.Open(Local("cbr.mp3").c_str()));
}

} // namespace
