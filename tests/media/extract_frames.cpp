// CMovieGraphCapture::ExtractFrames on a 320 x 240 file whose colour changes
// every second (red, green, blue; white band at the top), sampled at
// 176 x 144: numbered JPEG files, I420 frames in the cache, the progress
// state, cancellation, frames beyond the memory limit in the work file, and
// the failures with their messages.
// test-links: cw_engine cw_export cw_config cw_media cw_platform
#include "engine/frame_capture.h"

#include "engine/work_state.h"
#include "media_files.h"
#include "platform/dialog_service.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

namespace {

constexpr int kW = 176;
constexpr int kH = 144;

class ExtractEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(MakeBandedColourClip("colours.avi", 320, 240, { "-c:v", "mpeg4", "-q:v", "2" }));
        ASSERT_TRUE(
            RunFfmpeg({ "-f", "lavfi", "-i", "sine=duration=1", "-c:a", "pcm_s16le", MediaCache::Path("tone.wav") }));
        ASSERT_TRUE(WriteFile(MediaCache::Path("garbage.avi"), QByteArray(4096, '\x11')));
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ExtractEnvironment);

class ExtractFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(suite_.isValid());
        SetSuiteValue("FOLDER", suite_.path());
        CMovieWorkState::Reset();
    }
    void TearDown() override { CMovieWorkState::Reset(); }

    QString Jpeg(int n) const
    {
        return QDir(work_.path()).filePath(QString("MS_TMP_%1.JPG").arg(n, 4, 10, QChar('0')));
    }
    // One I420 frame's Y, Cb and Cr at a point of the picture.
    static void Sample(const VideoBuf& f, int x, int y, int* Y, int* cb, int* cr)
    {
        *Y = f.data[std::size_t(y * kW + x)];
        *cb = f.data[std::size_t(kW * kH + (y / 2) * (kW / 2) + x / 2)];
        *cr = f.data[std::size_t(kW * kH * 5 / 4 + (y / 2) * (kW / 2) + x / 2)];
    }

    TempRegistry registry_;
    ScriptedDialogs dialogs_;
    QTemporaryDir suite_;
    QTemporaryDir work_; // the run's private folder
};

TEST_F(ExtractFrames, JpegFilesAtZeroHalfAndOneSecond)
{
    CMovieGraphCapture capture(work_.path());
    FrameCache cache;
    cache.Add(9, std::make_unique<std::uint8_t[]>(4), 4);
    capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.5, kW, kH, 0.0, 1.0);
    std::int32_t count = -1;
    ASSERT_EQ(capture.ExtractFrames(&count, ExtractJpegFiles, cache), S_OK);
    EXPECT_EQ(std::tuple(count, CMovieWorkState::GetTotal(), CMovieWorkState::GetPhase(), cache.Count()),
        std::tuple(3, 3, CMovieWorkState::Extracting, std::size_t(0)));
    EXPECT_FALSE(QFile::exists(Jpeg(3)));
    const QRgb expected[] = { qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0) }; // 1.0 s is green
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        QImage picture(Jpeg(i));
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(kW, kH));
        const QRgb centre = picture.pixel(kW / 2, kH * 3 / 4);
        EXPECT_LT(std::abs(qRed(centre) - qRed(expected[i])) + std::abs(qGreen(centre) - qGreen(expected[i]))
                + std::abs(qBlue(centre) - qBlue(expected[i])),
            90);
        EXPECT_GT(qGray(picture.pixel(kW / 2, 4)), 230); // the white band stays on top
    }
    EXPECT_TRUE(dialogs_.texts().isEmpty());
}

// The whole stream (length 0) into the cache, every 0.5 s: 0.0 ... 3.0; then
// a part of it.
TEST_F(ExtractFrames, I420FramesOfTheWholeStreamOrAPart)
{
    CMovieGraphCapture capture;
    FrameCache cache;
    capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.5, kW, kH, 0.0, 0.0);
    std::int32_t count = 0;
    ASSERT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, cache), S_OK);
    ASSERT_EQ(std::tuple(count, CMovieWorkState::GetTotal(), cache.Count()), std::tuple(7, 7, std::size_t(7)));
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::pair(cache.At(std::size_t(i))->frameNumber, cache.At(std::size_t(i))->size),
            std::pair(i, std::size_t(kW * kH * 3 / 2)));
    }
    EXPECT_FALSE(QFile::exists(Jpeg(0)));

    // Red, green and blue as the conversion gives them (76/85/255,
    // 149/44/22, 29/255/108), within the codec's error.
    const struct {
        int frame, y, cb, cr;
    } want[] = { { 0, 76, 85, 255 }, { 3, 149, 44, 22 }, { 5, 29, 255, 108 }, { 6, 29, 255, 108 } };
    for (const auto& w : want) {
        SCOPED_TRACE(w.frame);
        int Y = 0, cb = 0, cr = 0;
        Sample(*cache.At(std::size_t(w.frame)), kW / 2, kH - 10, &Y, &cb, &cr);
        EXPECT_NEAR(Y, w.y, 12);
        EXPECT_NEAR(cb, w.cb, 16);
        EXPECT_NEAR(cr, w.cr, 16);
        Sample(*cache.At(std::size_t(w.frame)), kW / 2, 4, &Y, &cb, &cr);
        EXPECT_GT(Y, 230); // first rows of the frame are the top of the picture
    }

    // From 1.0 s for 1 s: 1.0 (green), 1.5, 2.0 (blue); the progress total
    // still counts from time 0.
    FrameCache later;
    capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.5, kW, kH, 1.0, 1.0);
    ASSERT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, later), S_OK);
    EXPECT_EQ(std::pair(count, CMovieWorkState::GetTotal()), std::pair(3, 5));
    for (const auto& [i, y] : { std::pair { 0, 149 }, std::pair { 2, 29 } }) {
        int Y = 0, cb = 0, cr = 0;
        Sample(*later.At(std::size_t(i)), kW / 2, kH - 10, &Y, &cb, &cr);
        EXPECT_NEAR(Y, y, 12) << i;
    }
}

// A cache with room for two frames and no spill folder of its own puts the
// other five in a work file in the capture's output folder; they come back as
// an extraction into memory gives them. A spill folder that cannot be
// written stops the extraction with a message. (The cache itself:
// unit/frame_cache.cpp.)
TEST_F(ExtractFrames, FramesBeyondTheMemoryLimitSpillToTheWorkFile)
{
    constexpr std::size_t kFrameBytes = std::size_t(kW * kH * 3 / 2);
    QTemporaryDir run;
    CMovieGraphCapture capture(run.path());
    capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.5, kW, kH, 0.0, 0.0);
    std::int32_t count = 0;
    FrameCache inMemory, spilled(2 * kFrameBytes);
    ASSERT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, inMemory), S_OK);
    ASSERT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, spilled), S_OK);
    EXPECT_EQ(std::pair(count, spilled.SpilledCount()), std::pair(7, std::size_t(5)));
    EXPECT_EQ(QFileInfo(spilled.SpillFile()).canonicalPath(), QFileInfo(capture.OutputFolder()).canonicalFilePath());
    for (std::size_t i = 0; i < 7; ++i) {
        const VideoBuf* f = spilled.At(i);
        ASSERT_TRUE(f);
        EXPECT_TRUE(std::equal(f->data.get(), f->data.get() + kFrameBytes, inMemory.At(i)->data.get())) << i;
    }
    EXPECT_TRUE(dialogs_.texts().isEmpty());

    FrameCache lost(2 * kFrameBytes);
    lost.SetSpillFolder(run.filePath("gone"));
    EXPECT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, lost), E_FAIL);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(dialogs_.texts(), QStringList { "Failed writing the frame work file" });
}

// A cache that presses Cancel when it receives its third frame.
class CancellingCache : public FrameCache {
public:
    void Add(std::int32_t n, std::unique_ptr<std::uint8_t[]> data, std::size_t size) override
    {
        FrameCache::Add(n, std::move(data), size);
        if (Count() == 3)
            CMovieWorkState::SetCancel(1);
    }
};

TEST_F(ExtractFrames, CancelAfterTheThirdFrameKeepsThree)
{
    CMovieGraphCapture capture;
    CancellingCache cache;
    capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.1, kW, kH, 0.0, 0.0);
    std::int32_t count = 0;
    EXPECT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, cache), S_FALSE);
    EXPECT_EQ(std::tuple(count, cache.Count(), CMovieWorkState::GetTotal(), CMovieWorkState::GetCurrent()),
        std::tuple(3, std::size_t(3), 31, 2));
}

TEST_F(ExtractFrames, FailuresShowTheirMessage)
{
    ASSERT_TRUE(QDir().mkpath(MediaCache::Path("folder.avi")));
    const struct {
        const char* file;
        HRESULT result;
        const char* message;
    } cases[] = { { "folder.avi", E_INVALIDARG, "Invalid File" }, { "missing.avi", E_INVALIDARG, "Invalid File" },
        { "garbage.avi", E_FAIL, "Failed m_pMD->put_Filename" },
        { "tone.wav", E_FAIL, "Failed m_pMD->get_StreamType" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs_->clearRecords();
        CMovieGraphCapture capture;
        FrameCache cache;
        cache.Add(0, std::make_unique<std::uint8_t[]>(4), 4);
        capture.SetExtractionParams(MediaCache::Path(c.file), 0.5, kW, kH, 0.0, 1.0);
        std::int32_t count = -1;
        EXPECT_EQ(capture.ExtractFrames(&count, ExtractI420Frames, cache), c.result);
        // The cache is left alone when nothing was started.
        EXPECT_EQ(std::tuple(count, dialogs_.texts(), cache.Count()),
            std::tuple(0, QStringList { c.message }, std::size_t(1)));
    }
}

TEST_F(ExtractFrames, UnusableParametersAreRefused)
{
    const struct {
        double step, start, length;
        int w, h, mode;
    } cases[] = { { 0.0, 0, 1, kW, kH, 1 }, { -0.5, 0, 1, kW, kH, 0 }, { 0.5, -1, 1, kW, kH, 1 },
        { 0.5, 0, 1, 175, kH, 1 }, { 0.5, 0, 1, 0, kH, 0 }, { 0.5, 0, 1, kW, kH, 2 },
        { 0.5, 0, 1, kW, kH, 0 } }; // JPEG files without a work folder
    for (const auto& c : cases) {
        CMovieGraphCapture capture;
        FrameCache cache;
        capture.SetExtractionParams(MediaCache::Path("colours.avi"), c.step, c.w, c.h, c.start, c.length);
        std::int32_t count = -1;
        EXPECT_EQ(capture.ExtractFrames(&count, c.mode, cache), E_INVALIDARG);
        EXPECT_EQ(count, 0);
    }
}

// Cancelled before the first frame, or with JPEG files that cannot be
// written: nothing is made or counted, and extraction still ends.
TEST_F(ExtractFrames, CancelledOrUnwritableMakesNoFiles)
{
    for (bool cancel : { true, false }) {
        SCOPED_TRACE(cancel ? "cancelled" : "unwritable");
        CMovieGraphCapture capture(work_.path());
        FrameCache cache;
        if (cancel)
            CMovieWorkState::SetCancel(1);
        else
            ASSERT_TRUE(QDir(capture.OutputFolder()).removeRecursively());
        capture.SetExtractionParams(MediaCache::Path("colours.avi"), 0.5, kW, kH, 0.0, 1.0);
        std::int32_t count = -1;
        EXPECT_EQ(capture.ExtractFrames(&count, ExtractJpegFiles, cache), cancel ? S_FALSE : S_OK);
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(QFile::exists(Jpeg(0)));
        CMovieWorkState::Reset();
    }
}

} // namespace
