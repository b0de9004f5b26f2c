// CMediaProbe on files made by the ffmpeg command: the streams of a movie, a
// silent movie and an MP3 (with and without a cover picture), pictures at
// known times, the MP3 facts; missing, damaged and unsuitable input; the
// newest request of a lane wins; a receiver that is gone, or a service
// destroyed with work waiting, gets nothing and breaks nothing.
// test-links: cw_engine
#include "engine/media_probe.h"

#include "engine/media_detector.h"
#include "media_files.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace {

constexpr int kAnswerMs = 30000;

class MediaProbe : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        movie = ColourMovie();
        mute = ColourMovie(false);
        mp3 = ToneMp3();
        ASSERT_FALSE(movie.isEmpty());
        ASSERT_FALSE(mute.isEmpty());
        ASSERT_FALSE(mp3.isEmpty());
        // The MP3 with a cover picture: not a video stream.
        cover = MediaCache::Make("cover.mp3",
            { "-i", mp3, "-f", "lavfi", "-i", "color=c=red:s=32x32:d=0.1", "-map", "0", "-map", "1", "-frames:v", "1",
                "-c:a", "copy", "-c:v", "png", "-disposition:v", "attached_pic" });
        ASSERT_FALSE(cover.isEmpty());
        junk = MediaCache::Path("junk.avi");
        ASSERT_TRUE(WriteFile(junk, QByteArray(8192, 'x')));
    }

    // Asks, then waits for the answer; checks it came on the UI thread.
    template <typename Result, typename Ask> Result Answer(Ask ask)
    {
        std::optional<Result> got;
        QThread* on = nullptr;
        ask([&](Result r) {
            got = std::move(r);
            on = QThread::currentThread();
        });
        EXPECT_TRUE(WaitFor([&] { return got.has_value(); }, kAnswerMs));
        EXPECT_EQ(on, qApp->thread());
        return got.value_or(Result {});
    }
    MediaStreams Streams(const QString& path)
    {
        return Answer<MediaStreams>([&](auto done) { probe.ProbeStreams(&receiver, {}, path, done); });
    }
    MediaBitmap Bitmap(const QString& path, double seconds, int w = 32, int h = 24, const QString& lane = {})
    {
        return Answer<MediaBitmap>([&](auto done) { probe.ProbeBitmap(&receiver, lane, path, seconds, w, h, done); });
    }
    Mp3Facts Mp3(const QString& path)
    {
        return Answer<Mp3Facts>([&](auto done) { probe.ProbeMp3(&receiver, {}, path, done); });
    }
    void Settle()
    {
        ASSERT_TRUE(WaitFor([&] { return probe.IsIdle(); }, kAnswerMs));
        QCoreApplication::processEvents(); // deliveries already queued
    }

    static QString movie, mute, mp3, cover, junk;
    CMediaProbe probe;
    QObject receiver;
};
QString MediaProbe::movie, MediaProbe::mute, MediaProbe::mp3, MediaProbe::cover, MediaProbe::junk;

TEST_F(MediaProbe, StreamsOfAMovieASilentMovieAndAnMp3AndItsFacts)
{
    const MediaStreams both = Streams(movie);
    ASSERT_TRUE(both.ok) << both.error.toStdString();
    EXPECT_EQ(both.path, movie);
    ASSERT_EQ(both.streamCount(), 2);
    EXPECT_EQ(std::tuple(both.streams[0].video, both.streams[1].video, both.hasVideo, both.pictureSize,
                  both.streams[1].pictureSize),
        std::tuple(true, false, true, QSize(64, 48), QSize()));
    EXPECT_NEAR(both.seconds, 3.0, 0.1);
    EXPECT_NEAR(both.frameRate, 15.0, 0.01);

    // (ok, stream count, has video) of the others.
    const std::tuple<QString, int, bool> others[] = { { mute, 1, true }, { mp3, 1, false }, { cover, 1, false } };
    for (const auto& [file, count, video] : others) {
        const MediaStreams got = Streams(file);
        EXPECT_EQ(std::tuple(got.ok, got.streamCount(), got.hasVideo), std::tuple(true, count, video))
            << qPrintable(file);
    }
    EXPECT_NEAR(Streams(mp3).seconds, 2.0, 0.1);
    // The MP3 facts come through (the facts themselves: mp3_info.cpp).
    const Mp3Facts facts = Mp3(mp3);
    ASSERT_TRUE(facts.ok) << facts.error.toStdString();
    EXPECT_EQ(std::tuple(facts.playingTime, facts.bitRateText), std::tuple(2, std::string("128 kbit/s")));
}

TEST_F(MediaProbe, PicturesAtTimesInTheDetectorsBitmapFormat)
{
    const MediaBitmap red = Bitmap(movie, 0.5);
    ASSERT_TRUE(red.ok) << red.error.toStdString();
    ASSERT_EQ(red.bits.size(), CMediaDet::BitmapBytes(32, 24));
    EXPECT_EQ(red.ToImage().size(), QSize(32, 24));
    EXPECT_EQ(CentreColour(red.ToImage()), 0); // the bottom-up rows read the right way round

    // Forward through one seek lane (one detector kept open), then back.
    const QString lane = CMediaProbe::Lane(&receiver, "seek");
    for (const auto& [at, colour] : { std::pair { 1.5, 1 }, std::pair { 2.5, 2 }, std::pair { 0.2, 0 } })
        EXPECT_EQ(CentreColour(Bitmap(movie, at, 32, 24, lane).ToImage()), colour) << at;
    // The lane's next file replaces the open one.
    EXPECT_EQ(CentreColour(Bitmap(mute, 1.5, 16, 12, lane).ToImage()), 1);
}

TEST_F(MediaProbe, BadInputGivesAFailedAnswer)
{
    const QString missing = MediaCache::Path("missing.avi");
    const MediaStreams gone = Streams(missing);
    EXPECT_EQ(std::tuple(gone.ok, gone.streamCount(), gone.hasVideo), std::tuple(false, 0, false));
    EXPECT_TRUE(gone.error.contains("not found")) << gone.error.toStdString();
    const MediaStreams damaged = Streams(junk);
    EXPECT_FALSE(damaged.ok);
    EXPECT_TRUE(damaged.error.contains("not a media file")) << damaged.error.toStdString();
    EXPECT_FALSE(Streams(QFileInfo(movie).path()).ok || Streams(QString()).ok); // a folder, no path
    EXPECT_FALSE(Bitmap(missing, 1).ok || Bitmap(junk, 1).ok);
    const MediaBitmap noVideo = Bitmap(mp3, 1);
    EXPECT_FALSE(noVideo.ok);
    EXPECT_TRUE(noVideo.error.contains("no video stream")) << noVideo.error.toStdString();
    EXPECT_TRUE(noVideo.ToImage().isNull());
    EXPECT_FALSE(Bitmap(movie, 1, 0, 24).ok || Bitmap(movie, 1, 32, 9000).ok);
    EXPECT_FALSE(Mp3(missing).ok || Mp3(junk).ok);
    // A file with a damaged middle still answers.
    QFile::copy(movie, MediaCache::Path("cut.avi"));
    QFile cut(MediaCache::Path("cut.avi"));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    cut.seek(cut.size() / 3);
    cut.write(QByteArray(int(cut.size() / 3), '\0'));
    cut.close();
    const MediaBitmap late = Bitmap(cut.fileName(), 2.5);
    EXPECT_EQ(late.ok, !late.bits.isEmpty());
}

TEST_F(MediaProbe, VideoAnswerComesFromAnEarlierProbeOrOneProbe)
{
    // A copy whose streams were read, then removed: the kept answer holds.
    const QString copy = MediaCache::Path("gone.avi");
    ASSERT_TRUE(QFile::copy(movie, copy));
    EXPECT_TRUE(Streams(copy).hasVideo);
    ASSERT_TRUE(QFile::remove(copy));
    EXPECT_TRUE(Answer<bool>([&](auto done) { probe.ProbeHasVideo(&receiver, copy, done); }));
    // Not read before: probed.
    EXPECT_TRUE(Answer<bool>([&](auto done) { probe.ProbeHasVideo(&receiver, mute, done); }));
    EXPECT_FALSE(Answer<bool>([&](auto done) { probe.ProbeHasVideo(&receiver, cover, done); }));
    EXPECT_FALSE(Answer<bool>([&](auto done) { probe.ProbeHasVideo(&receiver, copy + "x", done); }));
}

TEST_F(MediaProbe, NewestRequestOfALaneWins)
{
    const QString lane = CMediaProbe::Lane(&receiver, "thumbnails");
    std::vector<double> shown;
    int streamAnswers = 0;
    for (double t : { 0.5, 1.5, 2.5 })
        probe.ProbeBitmap(&receiver, lane, movie, t, 16, 12, [&](MediaBitmap b) { shown.push_back(b.seconds); });
    // Another lane is not touched.
    probe.ProbeStreams(&receiver, CMediaProbe::Lane(&receiver, "list"), mp3, [&](MediaStreams) { ++streamAnswers; });
    Settle();
    EXPECT_EQ(shown, std::vector<double> { 2.5 });
    EXPECT_EQ(streamAnswers, 1);

    // A cancelled lane answers nothing.
    probe.ProbeBitmap(&receiver, lane, movie, 1, 16, 12, [&](MediaBitmap b) { shown.push_back(b.seconds); });
    probe.Cancel(lane);
    Settle();
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(MediaProbe, GoneReceiverOrServiceGetsNothing)
{
    int answers = 0;
    auto* shortLived = new QObject;
    probe.ProbeStreams(shortLived, {}, movie, [&](MediaStreams) { ++answers; });
    probe.ProbeBitmap(shortLived, {}, movie, 1, 16, 12, [&](MediaBitmap) { ++answers; });
    delete shortLived;
    Settle();
    EXPECT_EQ(answers, 0);

    // Destroyed with work running and waiting: it joins, nothing arrives.
    auto* service = new CMediaProbe;
    for (int i = 0; i < 4; ++i)
        service->ProbeBitmap(&receiver, {}, movie, i * 0.7, 64, 48, [&](MediaBitmap) { ++answers; });
    delete service;
    QCoreApplication::processEvents();
    EXPECT_EQ(answers, 0);
}

} // namespace
