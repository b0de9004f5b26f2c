// The encoder adapter's settings block and its behaviour when the suite folder or the libraries are missing.
// test-links: cw_export cw_config cw_platform
#include "export/ott_encoder.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

template <typename T> T At(const EncoderSettings& s, std::size_t offset)
{
    T v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(&s) + offset, sizeof v);
    return v;
}

std::string TextAt(const EncoderSettings& s, std::size_t offset)
{
    return std::string(reinterpret_cast<const char*>(&s) + offset);
}

std::vector<std::pair<int, int>> g_status;
int RecordStatus(int kind, int value)
{
    g_status.emplace_back(kind, value);
    return 1;
}
int NoFrames(unsigned char*, int, int*)
{
    return 0;
}
int NoSound(short*, int, int*, int*)
{
    return 0;
}

// A private registry (no suite folder yet) and scripted dialogs.
class EncoderAdapter : public ::testing::Test {
protected:
    void SetUp() override { g_status.clear(); }

    int EncodeSmall(COTTEncoder& enc, int selector = 2)
    {
        return enc.Encode(
            "/tmp/never-written.3gp", selector, 1, 176, 144, 2, 10, 1, 8000, 5, 20, NoFrames, NoSound, RecordStatus);
    }

    TempRegistry registry_;
    ScriptedDialogs dialogs_;
};

} // namespace

TEST(EncoderSettingsBlock, EveryFieldAtItsOffset)
{
    EncoderSettings s;
    std::memset(&s, 0x5A, sizeof s); // the fill must clear what it does not set
    FillEncoderSettings(s, "/home/u/Movies/clip.3gp", 1, 176, 144, 2, 37, 1, 8000, 5);

    EXPECT_EQ(At<std::uint16_t>(s, 0), 3);
    EXPECT_EQ(At<std::int32_t>(s, 4), 128000);
    EXPECT_EQ(At<double>(s, 8), 5.0);
    EXPECT_EQ(TextAt(s, 276), "/home/u/Movies/clip.3gp");
    EXPECT_EQ(At<std::uint8_t>(s, 796), 0);
    EXPECT_EQ(At<std::uint8_t>(s, 797), 1);
    EXPECT_EQ(At<std::uint8_t>(s, 808), 1);
    EXPECT_EQ(At<std::uint8_t>(s, 809), 1);
    for (std::size_t o = 810; o <= 817; ++o)
        EXPECT_EQ(At<std::uint8_t>(s, o), 0xFF) << o;
    EXPECT_EQ(At<std::int32_t>(s, 828), 2);
    for (std::size_t o : { 1872u, 1876u, 1880u })
        EXPECT_EQ(At<std::int32_t>(s, o), 0) << o;
    EXPECT_EQ(At<double>(s, 2928), 10.0);
    EXPECT_EQ(At<double>(s, 2936), 10.0);
    EXPECT_EQ(At<std::int32_t>(s, 2944), 110000);
    EXPECT_EQ(At<std::int32_t>(s, 2948), 110000);
    EXPECT_EQ(At<std::int32_t>(s, 2956), 37);
    EXPECT_EQ(At<std::int32_t>(s, 2960), 500);
    EXPECT_EQ(At<std::int32_t>(s, 2964), 30);
    EXPECT_EQ(At<std::uint16_t>(s, 2968), 176);
    EXPECT_EQ(At<std::uint16_t>(s, 2970), 144);
    EXPECT_EQ(At<std::uint16_t>(s, 2972), 10);
    EXPECT_EQ(At<std::uint16_t>(s, 2974), 1024);
    EXPECT_EQ(At<std::uint8_t>(s, 2976), 3);
    for (std::size_t o : { 2977u, 2978u, 2979u, 2981u, 2982u })
        EXPECT_EQ(At<std::uint8_t>(s, o), 0) << o;
    EXPECT_EQ(At<std::uint8_t>(s, 2980), 1);
    EXPECT_EQ(At<std::int32_t>(s, 2984), 2);
    EXPECT_EQ(TextAt(s, 2988), "video.tmp");
    EXPECT_EQ(TextAt(s, 3248), "video_info.tmp");
    EXPECT_EQ(At<std::uint8_t>(s, 13658), 1);
    EXPECT_EQ(At<std::int32_t>(s, 13660), 5);
    EXPECT_EQ(TextAt(s, 13664), "audio.tmp");
    EXPECT_EQ(TextAt(s, 13924), "audio_info.tmp");
    EXPECT_EQ(At<std::int32_t>(s, 14184), 0);

    // Everything between the listed fields stays zero.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&s);
    for (std::size_t o = 14188; o < sizeof s; ++o)
        ASSERT_EQ(bytes[o], 0) << o;
    for (std::size_t o = 16; o < 276; ++o)
        ASSERT_EQ(bytes[o], 0) << o;
}

TEST(EncoderSettingsBlock, FlagsFollowTheArguments)
{
    EncoderSettings s;
    FillEncoderSettings(s, "a.3gp", 0, 176, 144, 1, 5, 7, 8000, 0);
    EXPECT_EQ(At<std::uint8_t>(s, 808), 1); // any non-zero sound flag
    EXPECT_EQ(At<std::uint8_t>(s, 809), 0);
    EXPECT_EQ(At<std::int32_t>(s, 2984), 1);
    FillEncoderSettings(s, "a.3gp", 3, 176, 144, 1, 5, 0, 8000, 0);
    EXPECT_EQ(At<std::uint8_t>(s, 808), 0);
    EXPECT_EQ(At<std::uint8_t>(s, 809), 1);
}

TEST(EncoderSettingsBlock, PathThatDoesNotFitIsLeftEmpty)
{
    EncoderSettings s;
    const std::string fits(519, 'a');
    FillEncoderSettings(s, fits.c_str(), 1, 176, 144, 2, 1, 1, 8000, 0);
    EXPECT_EQ(TextAt(s, 276), fits);
    const std::string tooLong(520, 'a');
    FillEncoderSettings(s, tooLong.c_str(), 1, 176, 144, 2, 1, 1, 8000, 0);
    EXPECT_EQ(TextAt(s, 276), "");
    FillEncoderSettings(s, nullptr, 1, 176, 144, 2, 1, 1, 8000, 0);
    EXPECT_EQ(TextAt(s, 276), "");

    // Scratch files in a work folder are absolute paths there; a folder too
    // long for their fields leaves no output path, so nothing is written
    // beside the output instead.
    FillEncoderSettings(s, "/out/a.3gp", 1, 176, 144, 2, 1, 1, 8000, 0, "/work/cw-1");
    EXPECT_EQ(TextAt(s, 276), "/out/a.3gp");
    EXPECT_EQ(TextAt(s, 2988), "/work/cw-1/video.tmp");
    EXPECT_EQ(TextAt(s, 13924), "/work/cw-1/audio_info.tmp");
    FillEncoderSettings(s, "/out/a.3gp", 1, 176, 144, 2, 1, 1, 8000, 0, "/" + QString(250, 'w'));
    EXPECT_EQ(TextAt(s, 276), "");
}

TEST_F(EncoderAdapter, MissingFolderShowsTheMessageAndFails)
{
    COTTEncoder enc;
    EXPECT_EQ(EncodeSmall(enc), 0);
    const auto shown = dialogs_->records();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, DialogKind::MessageBox);
    EXPECT_EQ(shown[0].text, "Invalid Setting. Please reinstall");
    // The start was announced, the end never is.
    EXPECT_EQ(g_status, (std::vector<std::pair<int, int>> { { 2, 40 } }));
    // The block is filled before the folder is read.
    EXPECT_EQ(TextAt(enc.Settings(), 276), "/tmp/never-written.3gp");
}

TEST_F(EncoderAdapter, MessageFromTheSaveWorkerIsShownByTheInterfaceThread)
{
    int result = -1;
    std::thread worker([&] {
        COTTEncoder enc;
        result = EncodeSmall(enc);
    });
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(dialogs_->records().empty()); // not shown from the worker
    QCoreApplication::processEvents();
    const auto shown = dialogs_->records();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Invalid Setting. Please reinstall");
}

// The library is loaded only from an absolute folder, as a regular file that
// neither group nor others may write; otherwise the message. A library that
// loads but lacks the export fails silently.
TEST_F(EncoderAdapter, LibraryIsLoadedOnlyFromATrustedPlace)
{
    QTemporaryDir empty, swapped, open;
    ASSERT_TRUE(QFile::copy(CW_SUITE_DIR "/libOTTAVIEncoder.so", swapped.filePath("libOTTEnc.so")));
    ASSERT_TRUE(QFile::copy(CW_SUITE_DIR "/libOTTEnc.so", swapped.filePath("libOTTAVIEncoder.so")));
    for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" }) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(CW_SUITE_DIR "/") + lib, open.filePath(lib)));
        ASSERT_TRUE(QFile::setPermissions(open.filePath(lib), QFileDevice::Permissions(0x6666)));
    }
    const QString relative = QDir::current().relativeFilePath(CW_SUITE_DIR);
    const struct {
        QString folder;
        bool message;
    } cases[] = { { empty.path(), true }, { open.path(), true }, { relative, true }, { swapped.path(), false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        SetSuiteValue("FOLDER", c.folder);
        for (int selector : { 2, kAviEncoderSelector }) {
            g_status.clear();
            dialogs_->clearRecords();
            COTTEncoder enc;
            EXPECT_EQ(EncodeSmall(enc, selector), 0);
            EXPECT_EQ(g_status, (std::vector<std::pair<int, int>> { { 2, 40 } }));
            EXPECT_EQ(dialogs_->records().size(), c.message ? 1u : 0u);
            EXPECT_EQ(EncoderLibraryProblem(c.folder, selector).isEmpty(), !c.message);
        }
    }
}

TEST_F(EncoderAdapter, ForwardersNeedACurrentEncoder)
{
    {
        COTTEncoder enc;
        EXPECT_EQ(CurrentEncoder.load(), &enc);
        // No callbacks stored yet.
        int t = 0, n = 0, start = 0;
        EXPECT_EQ(ForwardVideoRequest(nullptr, 0, &t), -1);
        EXPECT_EQ(ForwardAudioRequest(nullptr, 0, &n, &start), -1);
        EXPECT_EQ(ForwardStatus(2, 5), 0);
    }
    EXPECT_EQ(CurrentEncoder.load(), nullptr);
    int t = 0;
    EXPECT_EQ(ForwardVideoRequest(nullptr, 0, &t), -1);

    COTTEncoder older;
    COTTEncoder newer;
    EXPECT_EQ(CurrentEncoder.load(), &newer);
}
