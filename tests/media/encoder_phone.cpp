// End to end through COTTEncoder and the real encoder libraries: synthetic
// colour frames and a 1 kHz tone become phone-format files that ffprobe and
// ffmpeg read back; progress, cancellation and bad input.
// test-links: cw_export cw_config cw_platform
#include "export/ott_encoder.h"
#include "media_files.h"
#include "platform/c_handles.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;

// The save flow's side of an encode: frames of one colour, a sine tone, and
// a record of every callback and status.
struct Source {
    int frames = 10;
    int totalSamples = 16000;
    int chunk = 160;
    unsigned char y = 81, u = 90, v = 240; // a saturated red
    double toneHz = 1000.0;
    int abortVideoAt = -1;
    int abortSoundAt = -1;
    int videoCalls = 0;
    int soundCalls = 0;
    std::vector<int> frameTimes;
    std::vector<std::pair<int, int>> status;
};
Source g_src;

int ProvideFrame(unsigned char* buffer, int index, int* timeMs)
{
    ++g_src.videoCalls;
    if (index == g_src.abortVideoAt)
        return -1;
    if (index >= g_src.frames)
        return 0;
    const int luma = kWidth * kHeight;
    std::memset(buffer, g_src.y, luma);
    std::memset(buffer + luma, g_src.u, luma / 4);
    std::memset(buffer + luma + luma / 4, g_src.v, luma / 4);
    *timeMs = index * 200;
    g_src.frameTimes.push_back(*timeMs);
    return 1;
}

int ProvideChunk(short* buffer, int index, int* count, int* start)
{
    ++g_src.soundCalls;
    if (index == g_src.abortSoundAt)
        return -1;
    const int first = index * g_src.chunk;
    if (first >= g_src.totalSamples)
        return 0;
    const int n = std::min(g_src.chunk, g_src.totalSamples - first);
    for (int i = 0; i < n; ++i)
        buffer[i] = static_cast<short>(10000.0 * std::sin(2.0 * M_PI * g_src.toneHz * (first + i) / 8000.0));
    *count = n;
    *start = first;
    return 1;
}

int OnStatus(int kind, int value)
{
    g_src.status.emplace_back(kind, value);
    return 1;
}

int UnitsDone()
{
    int n = 0;
    for (const auto& s : g_src.status)
        n += s.first == 4 ? s.second : 0;
    return n;
}

// Mean Y, U, V of the decoded frame number `frame`.
std::array<double, 3> DecodedMeanYuv(const QString& file, int frame)
{
    const QByteArray raw = Decode(file,
        { "-vf", QString("select=eq(n\\,%1)").arg(frame), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "yuv420p" });
    std::array<double, 3> mean { 0, 0, 0 };
    const int luma = kWidth * kHeight;
    if (raw.size() != luma * 3 / 2)
        return mean;
    const auto* p = reinterpret_cast<const unsigned char*>(raw.constData());
    const int offsets[3] = { 0, luma, luma + luma / 4 };
    const int sizes[3] = { luma, luma / 4, luma / 4 };
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int i = 0; i < sizes[c]; ++i)
            sum += p[offsets[c] + i];
        mean[c] = sum / sizes[c];
    }
    return mean;
}

bool LibraryLoaded(const char* name)
{
    const QByteArray path = QByteArray(CW_SUITE_DIR) + "/" + name;
    return DlHandle(dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD)) != nullptr;
}

// A private registry naming the built suite folder, and scripted dialogs.
class PhoneEncode : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetSuiteValue("FOLDER", CW_SUITE_DIR);
        g_src = Source {};
    }

    QString Out(const QString& name) const { return dir_.filePath(name); }

    int Encode(const QString& path, int selector, int mode, int codec, int chunks = 100)
    {
        g_src.chunk = AudioChunkSamples(codec, 1);
        COTTEncoder enc;
        return enc.Encode(path.toUtf8().constData(), selector, 1, kWidth, kHeight, mode, g_src.frames, 1, 8000, codec,
            chunks, ProvideFrame, ProvideChunk, OnStatus);
    }

    void ExpectNoScratchFiles() const
    {
        for (const char* name : { "video.tmp", "video_info.tmp", "audio.tmp", "audio_info.tmp" })
            EXPECT_FALSE(QFile::exists(Out(name))) << name;
    }

    TempRegistry registry_;
    ScriptedDialogs dialogs_;
    QTemporaryDir dir_;
};

struct FormatRow {
    const char* file;
    int selector, mode, codec;
    const char* brand; // empty for AVI
    const char* video;
    const char* audio;
};

class PhoneFormats : public PhoneEncode, public ::testing::WithParamInterface<FormatRow> { };

} // namespace

TEST_P(PhoneFormats, FileCarriesTheFormatPictureAndTone)
{
    const FormatRow row = GetParam();
    const QString out = Out(row.file);
    ASSERT_EQ(Encode(out, row.selector, row.mode, row.codec), 1);
    ExpectNoScratchFiles();

    EXPECT_EQ(Probe(out, "format_tags=major_brand"), row.brand);
    EXPECT_EQ(Probe(out, "stream=codec_name,width,height,nb_frames", "v:0"), QString(row.video) + "\n176\n144\n10");
    if (QString(row.video) == "mpeg4" && QString(row.brand) != "") {
        EXPECT_EQ(Probe(out, "stream=profile", "v:0"), "Simple Profile");
    }
    EXPECT_EQ(Probe(out, "stream=codec_name,sample_rate,channels", "a:0"), QString(row.audio) + "\n8000\n1");

    const std::vector<std::int16_t> pcm = DecodePcm(out, 8000, 1);
    ASSERT_GE(pcm.size(), 12000u);
    EXPECT_GT(ToneLevel(pcm.data() + 4000, 8000, 1, 8000, 1000.0), 0.1); // the tone, in the middle second
    const auto yuv = DecodedMeanYuv(out, 5);
    EXPECT_NEAR(yuv[0], g_src.y, 4.0);
    EXPECT_NEAR(yuv[1], g_src.u, 4.0);
    EXPECT_NEAR(yuv[2], g_src.v, 4.0);
}

INSTANTIATE_TEST_SUITE_P(Containers, PhoneFormats,
    // (The AAC files of the block's codec 0 are cw-save's in phone_file_timing.cpp.)
    ::testing::Values(FormatRow { "a.3gp", 2, 2, 1, "3gp4", "mpeg4", "amr_nb" },
        FormatRow { "g.3gp", 2, 1, 3, "3gp4", "h263", "amr_nb" },
        FormatRow { "h.avi", 9, 2, 5, "", "mpeg4", "pcm_s16le" },
        // A codec without audio values in the block still gets 8 kHz AAC.
        FormatRow { "i.mp4", 2, 2, 6, "isom", "mpeg4", "aac" }),
    [](const ::testing::TestParamInfo<FormatRow>& info) {
        std::string name = info.param.file;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST_F(PhoneEncode, EveryRequestIsOneUnitAndTheLibraryIsUnloaded)
{
    g_src.frames = 10;
    g_src.totalSamples = 20 * 160;
    ASSERT_EQ(Encode(Out("units.3gp"), 2, 2, 5, 20), 1);
    ASSERT_FALSE(g_src.status.empty());
    // Frames 0..10 (the last answers 0) and chunks 0..20 (the last answers 0).
    EXPECT_EQ(std::tuple(g_src.status.front(), g_src.status.back(), g_src.videoCalls, g_src.soundCalls, UnitsDone()),
        std::tuple(std::pair(2, 40), std::pair(0, 0), 11, 21, 11 + 21));
    // Frames are presented 200 ms apart.
    ASSERT_EQ(g_src.frameTimes.size(), 10u);
    EXPECT_EQ(g_src.frameTimes[9], 1800);
    EXPECT_FALSE(LibraryLoaded(ott::kEncoderLibrary));
    EXPECT_TRUE(dialogs_->records().empty());
}

TEST_F(PhoneEncode, AbortStopsTheLibraryAndLeavesNoFilesOrKeepsTheOldOne)
{
    // The sound is pulled first (its length places the frames). Cancelled in
    // the middle of the video every chunk was asked for; in the middle of
    // the sound no frame is. The abort is counted, nothing is left behind,
    // and a movie already there stays as it was.
    struct Case {
        const char* file;
        int abortVideoAt, abortSoundAt;
        int videoCalls, soundCalls;
        const char* existing;
    };
    const Case cases[] = {
        { "cancel.3gp", 3, -1, 4, 16000 / 160 + 1, nullptr },
        { "cancel.mp4", -1, 7, 0, 8, nullptr },
        { "keep.3gp", 0, -1, 1, 16000 / 160 + 1, "previous movie" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString out = Out(c.file);
        if (c.existing) {
            ASSERT_TRUE(WriteFile(out, c.existing));
        }
        g_src = Source {};
        g_src.abortVideoAt = c.abortVideoAt;
        g_src.abortSoundAt = c.abortSoundAt;
        EXPECT_EQ(Encode(out, 2, 2, QString(c.file).endsWith(".mp4") ? 0 : 5), 0);
        EXPECT_EQ(std::tuple(g_src.videoCalls, g_src.soundCalls, UnitsDone(), g_src.status.back()),
            std::tuple(c.videoCalls, c.soundCalls, c.videoCalls + c.soundCalls, std::pair(0, 0)));
        if (c.existing) {
            EXPECT_EQ(ReadFile(out), c.existing);
            QFile::remove(out);
        }
        EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        EXPECT_FALSE(LibraryLoaded(ott::kEncoderLibrary));
    }
}

TEST_F(PhoneEncode, BadInputFailsCleanly)
{
    // Output folder missing or not writable.
    EXPECT_EQ((std::tuple { Encode(dir_.filePath("missing/x.3gp"), 2, 2, 5), Encode("/proc/x.3gp", 2, 2, 5) }),
        std::tuple(0, 0));

    // Neither frames nor sound.
    g_src.frames = 0;
    g_src.totalSamples = 0;
    EXPECT_EQ(Encode(Out("nothing.3gp"), 2, 2, 5), 0);
    EXPECT_FALSE(QFile::exists(Out("nothing.3gp")));

    // Audio codec outside 0..8; unknown video mode.
    g_src = Source {};
    EXPECT_EQ((std::tuple { Encode(Out("codec.3gp"), 2, 2, 9), Encode(Out("mode.3gp"), 2, 7, 5) }), std::tuple(0, 0));
    EXPECT_FALSE(QFile::exists(Out("codec.3gp")));
    EXPECT_EQ(g_src.videoCalls, 0); // refused before any request

    EXPECT_TRUE(dialogs_->records().empty());
}

// A missing stream: the sound flag with no sound at all writes the movie
// without it, the callback's times placing the frames (10 at 200 ms steps);
// sound without frames (a movie shorter than one sampling step) gets one
// black picture as long as itself.
TEST_F(PhoneEncode, AMissingStreamIsLeftOutOrMadeUp)
{
    g_src.totalSamples = 0;
    ASSERT_EQ(Encode(Out("silent.3gp"), 2, 2, 5, 0), 1);
    EXPECT_EQ(Probe(Out("silent.3gp"), "stream=codec_name"), "mpeg4");
    EXPECT_EQ(Probe(Out("silent.3gp"), "stream=duration").split('\n'), QStringList { "2.000000" });

    g_src = Source {};
    g_src.frames = 0;
    g_src.totalSamples = 8000 * 3 / 2;
    ASSERT_EQ(Encode(Out("noframes.3gp"), 2, 2, 5), 1);
    EXPECT_EQ(Probe(Out("noframes.3gp"), "stream=nb_frames", "v:0"), "1");
    EXPECT_EQ(Probe(Out("noframes.3gp"), "stream=codec_name", "a:0"), "amr_nb");
    EXPECT_EQ(Probe(Out("noframes.3gp"), "stream=duration").split('\n'), (QStringList { "1.500000", "1.500000" }));
    EXPECT_NEAR(DecodedMeanYuv(Out("noframes.3gp"), 0)[0], 16.0, 3.0);
    ExpectNoScratchFiles();
}
