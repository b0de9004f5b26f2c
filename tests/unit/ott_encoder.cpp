// The encoder adapter's settings block and its behaviour when the suite folder or the libraries are missing.
// test-links: cw_export cw_config cw_platform
#include "export/ott_encoder.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

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

// The block's layout is fixed where it is declared (include/ott_abi.h), and
// the sizes, counts and codecs show in every encoded file (media/
// encoder_phone.cpp); here the values the fill makes up, and that it clears
// what it leaves.
TEST(EncoderSettingsBlock, FillSetsTheFixedValuesAndClearsTheRest)
{
    EncoderSettings s;
    std::memset(&s, 0x5A, sizeof s);
    FillEncoderSettings(s, "/home/u/Movies/clip.3gp", 1, 176, 144, 2, 37, 1, 8000, 5);
    EXPECT_EQ(std::tuple(s.frameRate, std::string(s.videoScratch), std::string(s.audioInfoScratch)),
        std::tuple(5.0, std::string("video.tmp"), std::string("audio_info.tmp")));
    const auto cleared = [](const auto& field) {
        const auto* b = reinterpret_cast<const unsigned char*>(&field);
        return std::all_of(b, b + sizeof field, [](unsigned char c) { return c == 0; });
    };
    EXPECT_EQ((std::vector<bool> { cleared(s.reserved16), cleared(s.fixedZero1872), cleared(s.fixedZero2977),
                  cleared(s.fixedZero14184), cleared(s.reserved14188) }),
        std::vector<bool>(5, true));

    // The flags are 0 or 1 whatever the arguments.
    FillEncoderSettings(s, "a.3gp", 0, 176, 144, 1, 5, 7, 8000, 0);
    EXPECT_EQ(std::pair(int(s.hasVideo), int(s.hasSound)), std::pair(0, 1));
    FillEncoderSettings(s, "a.3gp", 3, 176, 144, 1, 5, 0, 8000, 0);
    EXPECT_EQ(std::pair(int(s.hasVideo), int(s.hasSound)), std::pair(1, 0));
}

TEST(EncoderSettingsBlock, PathThatDoesNotFitIsLeftEmpty)
{
    EncoderSettings s;
    const std::string fits(519, 'a');
    FillEncoderSettings(s, fits.c_str(), 1, 176, 144, 2, 1, 1, 8000, 0);
    EXPECT_EQ(std::string(s.outputPath), fits);
    const std::string tooLong(520, 'a');
    for (const char* path : { tooLong.c_str(), static_cast<const char*>(nullptr) }) {
        FillEncoderSettings(s, path, 1, 176, 144, 2, 1, 1, 8000, 0);
        EXPECT_EQ(std::string(s.outputPath), "");
    }

    // Scratch files in a work folder are absolute paths there; a folder too
    // long for their fields leaves no output path, so nothing is written
    // beside the output instead.
    FillEncoderSettings(s, "/out/a.3gp", 1, 176, 144, 2, 1, 1, 8000, 0, "/work/cw-1");
    EXPECT_EQ(std::tuple(std::string(s.outputPath), std::string(s.videoScratch), std::string(s.audioInfoScratch)),
        std::tuple(
            std::string("/out/a.3gp"), std::string("/work/cw-1/video.tmp"), std::string("/work/cw-1/audio_info.tmp")));
    FillEncoderSettings(s, "/out/a.3gp", 1, 176, 144, 2, 1, 1, 8000, 0, "/" + QString(250, 'w'));
    EXPECT_EQ(std::string(s.outputPath), "");
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
    EXPECT_EQ(std::string(enc.Settings().outputPath), "/tmp/never-written.3gp");
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
