// The compression graph end to end: timelines of generated clips rendered to
// AVI (DV + PCM) and WAV files, checked with ffprobe and by decoding them.
// test-links: cw_engine cw_project cw_export cw_media cw_platform
#include "capture_media.h"
#include "engine/compressor.h"
#include "engine/work_state.h"
#include "export/movie_render.h"
#include "media_files.h"
#include "project/movie_timeline.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <tuple>

namespace {

class CompressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // 4:3 pictures with a 440 Hz tone; a 1000 Hz tone alone; a file that is not media.
        ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "testsrc=size=160x120:rate=30:duration=2", "-f", "lavfi", "-i",
            "sine=frequency=440:sample_rate=44100:duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
            "yuv420p", "-c:a", "aac", "-ac", "2", path("clip.mp4") }));
        ASSERT_TRUE(
            RunFfmpeg({ "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=22050:duration=2", path("tone.wav") }));
        ASSERT_TRUE(WriteFile(path("junk.mp4"), QByteArray(4096, '\x5a')));
    }
    void SetUp() override { CMovieWorkState::Reset(); }
    void TearDown() override
    {
        CMovieWorkState::Reset();
        CMovieGraphCompressor::SetVideoCompressorNames({ "DV Video Encoder" });
        CMovieGraphCompressor::SetAudioCompressorName("PCM");
    }

    static QString path(const QString& name) { return MediaCache::Path(name); }
    static CMediaFile clip(const QString& name, std::uint32_t start, std::uint32_t length)
    {
        CMediaFile c(path(name), length, 0, 0, ClipKind::VideoWithSound);
        c.SetTrim(0, length);
        c.SetTimelineStart(start);
        return c;
    }

    ScriptedDialogs dialogs_;
};

TEST_F(CompressTest, MovieAndItsSoundRenderToAviAndWav)
{
    CMovieTimeline movie;
    ASSERT_EQ(movie.ResetMovieTimeline(), S_OK);
    ASSERT_EQ(movie.AddClip(clip("clip.mp4", 0, 2000), 1), S_OK);
    ASSERT_EQ(movie.AddClip(clip("clip.mp4", 0, 2000), 2), S_OK);
    ASSERT_EQ(movie.AddClip(clip("tone.wav", 0, 2000), 2), S_OK);
    const QString avi = path("movie.avi");
    ASSERT_EQ(CompressVideo(&movie, avi, 0, 20000000), S_OK) << dialogs_.texts().join("; ").toStdString();
    // The total counts 2 s in 100 us units.
    EXPECT_EQ(std::tuple(dialogs_.texts(), CMovieWorkState::GetPhase(), CMovieWorkState::IsStarted(),
                  CMovieWorkState::GetTotal()),
        std::tuple(QStringList(), 0, true, 20000));
    EXPECT_EQ(Probe(avi, "format=format_name") + "\n" + Probe(avi, "stream=codec_name,width,height", "v:0") + "\n"
            + Probe(avi, "stream=codec_name,sample_rate,channels", "a:0"),
        "avi\ndvvideo\n720\n480\npcm_s16le\n44100\n2");
    EXPECT_EQ(DecodeFrames(avi, 32, 24).size(), 30u); // 2 s at 15 frames per second
    const auto pcm = DecodePcm(avi, 44100, 2);
    ASSERT_NEAR(double(pcm.size()), 2 * 44100 * 2, 2 * 4410);
    // Both tones are in the mix.
    for (double tone : { 440.0, 1000.0 })
        EXPECT_GT(ToneLevel(pcm.data() + 20000, 44100, 2, 44100, tone), 0.05) << tone;

    // The save's second step: the rendered movie's sound as 8 kHz mono WAV.
    CMovieTimeline sound;
    const QString wav = path("movie.wav");
    ASSERT_EQ(CompressSound(sound, wav, 0, 20000000, avi), S_OK) << dialogs_.texts().join("; ").toStdString();
    // 16-bit mono PCM at 8000 Hz, exactly 2 s of it behind a 44-byte header.
    const capture_media::Wav mono = capture_media::ReadWav(wav);
    EXPECT_TRUE(mono.exact);
    EXPECT_EQ(QString("%1 %2 %3").arg(mono.channels).arg(mono.rate).arg(mono.bits), "1 8000 16");
    ASSERT_EQ(mono.samples.size(), 16000u);
    for (double tone : { 440.0, 1000.0 })
        EXPECT_GT(ToneLevel(mono.samples.data() + 2000, 8000, 1, 8000, tone), 0.05) << tone;
}

TEST_F(CompressTest, UnknownCompressorFailsWithItsMessageAndNoFile)
{
    CMovieGraphCompressor::SetVideoCompressorNames({ "No Such Encoder" });
    CMovieTimeline movie;
    movie.ResetMovieTimeline();
    movie.AddClip(clip("clip.mp4", 0, 1000), 1);
    CMovieGraphCompressor compressor;
    EXPECT_EQ(compressor.GetCompressor(true), E_FAIL);
    EXPECT_EQ(compressor.GetCompressor(false), S_OK); // "PCM" is registered
    const QString avi = path("nocodec.avi");
    compressor.SetOutputFile(avi);
    EXPECT_EQ(compressor.RenderTimeline(movie.GetTimeline(), CMovieGraphCompressor::RenderMovie), E_FAIL);
    EXPECT_EQ(dialogs_.texts(), QStringList { "Failed GetCompressor(TRUE)" });
    EXPECT_FALSE(QFileInfo::exists(avi));

    // Through the entry point the view's own message follows.
    dialogs_->clearRecords();
    EXPECT_EQ(CompressVideo(&movie, avi, 0, 10000000), E_FAIL);
    EXPECT_EQ(dialogs_.texts(), (QStringList { "Failed GetCompressor(TRUE)", "Video Compressing was failed! - 1" }));
    EXPECT_EQ(CompressVideo(nullptr, avi, 0, 10000000), E_FAIL);

    CMovieGraphCompressor::SetVideoCompressorNames({ "Other", "DV Video Encoder" });
    CMovieGraphCompressor::SetAudioCompressorName("pcm"); // names match exactly
    dialogs_->clearRecords();
    EXPECT_EQ(CompressVideo(&movie, avi, 0, 10000000), E_FAIL);
    EXPECT_EQ(dialogs_.texts(), (QStringList { "Failed GetCompressor(FALSE)", "Video Compressing was failed! - 1" }));
    EXPECT_FALSE(QFileInfo::exists(avi));
}

TEST_F(CompressTest, CancelInTheFirstPollStopsAndDeletesTheFile)
{
    // Long enough (40 s) that the run is still going at the first poll.
    CMovieTimeline movie;
    movie.ResetMovieTimeline();
    for (std::uint32_t at = 0; at < 40000; at += 2000) {
        movie.AddClip(clip("clip.mp4", at, 2000), 1);
        movie.AddClip(clip("clip.mp4", at, 2000), 2);
    }
    const QString avi = path("cancelled.avi");
    QTimer::singleShot(0, [] { CMovieWorkState::SetCancel(1); });
    CMovieGraphCompressor compressor;
    compressor.SetOutputFile(avi);
    EXPECT_EQ(compressor.RenderTimeline(movie.GetTimeline(), CMovieGraphCompressor::RenderMovie), 1);
    EXPECT_FALSE(QFileInfo::exists(avi));
    EXPECT_EQ(CMovieWorkState::GetTotal(), 400000);
    EXPECT_LT(CMovieWorkState::GetCurrent(), CMovieWorkState::GetTotal());
    EXPECT_FALSE(compressor.m_pGB);
    // With the request already set, a render stops before it builds anything.
    EXPECT_EQ(CompressVideo(&movie, "/nonexistent-folder/x.avi", 0, 0), 1);
    EXPECT_TRUE(dialogs_.texts().isEmpty());
}

TEST_F(CompressTest, UnwritableFolderFailsWithoutOutput)
{
    CMovieTimeline movie;
    movie.ResetMovieTimeline();
    movie.AddClip(clip("clip.mp4", 0, 1000), 1);
    const QString avi = "/nonexistent-folder/x.avi";
    HRESULT hr = CompressVideo(&movie, avi, 0, 10000000);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(
        dialogs_.texts(), (QStringList { "Could not run compression graph!!", "Video Compressing was failed! - 1" }));
    EXPECT_FALSE(QFileInfo::exists(avi));
    // The sound's own failure: media/save_pipeline.cpp (FalseSuccess).
}

TEST_F(CompressTest, OneGroupTimeline)
{
    // Only a video group: the movie has pictures alone; a sound render has
    // nothing to connect and writes no file.
    auto timeline = std::make_shared<CTimeline>();
    auto group = std::make_shared<CTimelineGroup>();
    group->SetMediaType(MakeRgbVideoType(320, 240, 24));
    timeline->AddGroup(group);
    auto track = std::make_shared<CTimelineTrack>();
    group->VTrackInsBefore(track, -1);
    auto src = std::make_shared<CTimelineSource>();
    src->SetStartStop(0, 10000000);
    src->SetMediaTimes(0, 10000000);
    src->SetMediaName(path("clip.mp4"));
    track->SrcAdd(src);

    CMovieGraphCompressor movie;
    movie.SetOutputFile(path("video-only.avi"));
    ASSERT_EQ(movie.RenderTimeline(timeline, CMovieGraphCompressor::RenderMovie), S_OK);
    EXPECT_EQ(Probe(path("video-only.avi"), "stream=codec_type"), "video");

    CMovieGraphCompressor sound;
    sound.SetOutputFile(path("nothing.wav"));
    EXPECT_EQ(sound.RenderTimeline(timeline, CMovieGraphCompressor::RenderSoundOnly), S_OK);
    EXPECT_FALSE(QFileInfo::exists(path("nothing.wav")));
    EXPECT_TRUE(dialogs_.texts().isEmpty());
}

TEST_F(CompressTest, BrokenAndEmptySourcesRenderBlackAndSilence)
{
    CMovieTimeline movie;
    movie.ResetMovieTimeline();
    movie.AddClip(clip("junk.mp4", 0, 1000), 1);
    movie.AddClip(clip("junk.mp4", 0, 1000), 2);
    movie.AddClip(clip("missing.mp4", 1000, 1000), 1);
    movie.AddClip(clip("clip.mp4", 2000, 0), 1); // 0-length clip
    const QString avi = path("broken.avi");
    ASSERT_EQ(CompressVideo(&movie, avi, 0, 20000000), S_OK);
    const auto frames = DecodeFrames(avi, 16, 12);
    ASSERT_EQ(frames.size(), 30u);
    for (const auto& f : frames)
        for (char byte : f)
            ASSERT_LT(std::uint8_t(byte), 40); // black, give or take the codec
    for (std::int16_t s : DecodePcm(avi, 44100, 2))
        ASSERT_EQ(s, 0);
}

} // namespace
