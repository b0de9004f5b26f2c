// The editing timeline the movie composer builds: source times from clip
// records, track order, and the view operations.
// test-links: cw_project cw_engine cw_media cw_platform
#include "project/movie_timeline.h"

#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

CMediaFile Clip(const char* path, std::uint32_t start, std::uint32_t length, std::uint32_t mediaStart)
{
    CMediaFile c(path, 60000, 0, 0, ClipKind::VideoWithSound);
    c.SetTrim(mediaStart, length);
    c.SetTimelineStart(start);
    return c;
}

const CTimelineSource& OnlySource(const CTimelineGroup& g, std::size_t track)
{
    return *g.tracks().at(track)->sources().at(0);
}

TEST(MovieTimeline, SourcesCarryClipTimesInHundredNanoseconds)
{
    CMovieTimeline tl;
    ASSERT_EQ(tl.ResetMovieTimeline(), S_OK);
    ASSERT_EQ(tl.AddClip(Clip("/m/a.avi", 0, 3000, 1000), 1), S_OK);
    ASSERT_EQ(tl.AddClip(Clip("/m/b.avi", 2000, 0, 5000), 1), S_OK); // 0 length
    ASSERT_EQ(tl.AddClip(Clip("/m/c.mp3", 4000, 1000, 0), 2), S_OK);
    ASSERT_EQ(tl.AddClip(Clip("/m/v.wav", 0, 500, 0), 3), S_OK);
    EXPECT_EQ(tl.AddClip(Clip("/m/x.avi", 0, 500, 0), 4), S_OK);
    EXPECT_EQ(tl.AddClip(Clip("/m/x.avi", 0, 500, 0), 5), S_OK);

    const CTimelineGroup& video = *tl.videoComp;
    ASSERT_EQ(video.tracks().size(), 2u);
    const CTimelineSource& a = OnlySource(video, 0);
    EXPECT_EQ(std::tuple(a.start(), a.stop(), a.mediaStart(), a.mediaStop(), a.mediaName(), a.stretchMode()),
        std::tuple(0, 30000000, 10000000, 40000000, QString("/m/a.avi"), kStretchPreserveAspect));
    const CTimelineSource& b = OnlySource(video, 1);
    EXPECT_EQ(b.start(), b.stop());
    EXPECT_FALSE(b.covers(b.start()));

    const CTimelineGroup& sound = *tl.soundComp;
    ASSERT_EQ(sound.tracks().size(), 2u); // kinds 4 and 5 added nothing
    EXPECT_EQ(std::tuple(OnlySource(sound, 0).start(), OnlySource(sound, 0).stretchMode(),
                  OnlySource(sound, 1).mediaName(), tl.GetTimeline()->duration()),
        std::tuple(40000000, kStretchResize, QString("/m/v.wav"), 50000000));

    // Large millisecond values do not overflow the 100 ns units.
    ASSERT_EQ(tl.AddVideoSource(Clip("/m/long.avi", 4000000000u, 1000, 0)), S_OK);
    EXPECT_EQ(OnlySource(video, 2).start(), 40000000000000);
    EXPECT_EQ(tl.ValidateSources(), S_OK); // missing files are not an error here
}

TEST(MovieTimeline, RebuildingReleasesTheOldTimeline)
{
    CMovieTimeline tl;
    tl.ResetMovieTimeline();
    tl.AddClip(Clip("/m/first.avi", 0, 3000, 0), 1);
    auto old = tl.GetTimeline();
    ASSERT_EQ(tl.ResetMovieTimeline(), S_OK);
    EXPECT_NE(tl.GetTimeline(), old);
    EXPECT_TRUE(tl.videoComp->tracks().empty());
    EXPECT_EQ(tl.ReleaseTimeline(), S_OK);
    EXPECT_FALSE(tl.GetTimeline());
    EXPECT_EQ(tl.AddVideoSource(Clip("/m/a.avi", 0, 1, 0)), E_UNEXPECTED);
}

TEST(MovieTimeline, SoundTimelineHoldsOneFileAsVideoAndSound)
{
    CMovieTimeline tl;
    ASSERT_EQ(tl.PrepareSoundTimeline("/tmp/MS_AVI_VIDEO.avi", 12000), S_OK);
    EXPECT_TRUE(tl.GetTimeline()->GetGroup(1)->mediaType() == MakePcmAudioType(1, 8000, 16));
    for (const auto& group : { tl.videoComp, tl.soundComp }) {
        ASSERT_EQ(group->tracks().size(), 1u);
        const CTimelineSource& s = OnlySource(*group, 0);
        EXPECT_EQ(std::tuple(s.start(), s.stop(), s.mediaStart(), s.mediaName()),
            std::tuple(0, 120000000, 0, QString("/tmp/MS_AVI_VIDEO.avi")));
    }
}

TEST(TimelineModel, RefusesWhatCannotBeRendered)
{
    CTimelineSource s;
    EXPECT_EQ((std::vector<HRESULT> { s.SetStartStop(10, 5), s.SetMediaTimes(-1, 5), s.SetStretchMode(7) }),
        std::vector<HRESULT>(3, E_INVALIDARG));
    ASSERT_EQ(s.SetStartStop(100, 300), S_OK);
    ASSERT_EQ(s.SetMediaTimes(1000, 1400), S_OK); // played at double speed
    EXPECT_EQ(s.mediaTimeAt(200), 1200);

    CTimelineGroup g;
    // A video type without its format block, 8-bit sound, no frame rate.
    EXPECT_EQ((std::vector<HRESULT> { g.SetMediaType(CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24)),
                  g.SetMediaType(MakePcmAudioType(2, 44100, 8)), g.SetOutputFPS(0) }),
        std::vector<HRESULT>(3, E_INVALIDARG));
    EXPECT_EQ(g.outputFPS(), 15.0);
    CTimeline t;
    EXPECT_EQ(t.AddGroup(std::make_shared<CTimelineGroup>()), E_INVALIDARG);
    EXPECT_EQ(t.GetGroup(0), nullptr);

    auto low = std::make_shared<CTimelineTrack>(), high = std::make_shared<CTimelineTrack>(),
         bottom = std::make_shared<CTimelineTrack>();
    g.VTrackInsBefore(low, -1);
    g.VTrackInsBefore(high, -1);
    g.VTrackInsBefore(bottom, 0);
    EXPECT_EQ(g.tracks(), (std::vector { bottom, low, high }));
}

} // namespace
