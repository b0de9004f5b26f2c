// test-links: cw_project cw_platform
// The timeline's scale, scroll extent and zoom to fit, and the clip texts.
#include "project/timeline_scale.h"
#include "project/clip_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TimelineScale, BoxesAtEachLevelNeverWrapOrVanish)
{
    TimelineScale s; // 4 pixels per second
    EXPECT_EQ(SpanOf(s, 0, 100).width, 2); // a 100 ms clip is still drawn
    EXPECT_EQ(SpanOf(s, 1500, 1000).x, 6);
    ASSERT_TRUE(s.SetZoom(39));
    EXPECT_EQ(SpanOf(s, 30000, 15000).x, 66); // 33 pixels per quarter minute
    EXPECT_EQ(s.msPerPixel(), 454);
    ASSERT_TRUE(s.SetZoom(19));
    EXPECT_EQ(SpanOf(s, 0, 180000).width, 57);
    // Near 2^32 ms at the widest zoom, ms times pixels exceeds 32 bits.
    ASSERT_TRUE(s.SetZoom(kZoomMax));
    const ClipSpan far = SpanOf(s, 0xFFFF0000u, 0xFFFFu);
    EXPECT_EQ(far.x, 137436856);
    EXPECT_EQ(far.width, 2097);
    EXPECT_EQ(s.ToMs(s.ToPixels(60000)), 60000);
}

TEST(TimelineScale, ScrollExtentAndZoomToFit)
{
    for (int z = 2; z <= 200; ++z)
        EXPECT_LE(ScrollExtent(z), 32766) << z;
    EXPECT_EQ(ScrollExtent(4), 600);
    EXPECT_EQ(ScrollExtent(20), 8400);
    EXPECT_EQ(ScrollExtent(38), 32766);

    EXPECT_EQ(ZoomToFit(10000, 600), 66); // capped: 32 pixels per second
    EXPECT_EQ(ZoomToFit(100000, 600), 40); // 6 pixels per second
    EXPECT_EQ(ZoomToFit(400000, 600), 29); // quarter minutes
    EXPECT_EQ(ZoomToFit(301000, 600), std::nullopt); // 36 is above the quarter range
    EXPECT_EQ(ZoomToFit(3600000, 200), 3); // minutes
    EXPECT_EQ(ZoomToFit(500, 600), 66);
    EXPECT_EQ(ZoomToFit(0, 600), std::nullopt);
    EXPECT_EQ(ZoomToFit(std::int64_t(UINT32_MAX) * 3, 600), std::nullopt);
}

TEST(ClipText, DurationInformationLineAndWholeSeconds)
{
    EXPECT_EQ(DurationText(0), "00:00:00");
    EXPECT_EQ(DurationText(3723999), "01:02:03");
    EXPECT_EQ(DurationText(100LL * 3600000), "100:00:00");

    CMediaFile video("/m/clip.avi", 61000, 320, 240, ClipKind::VideoWithSound);
    EXPECT_EQ(ClipInfoLine(video, 3 * 1048576 / 2), "clip.avi           1.50MB    00:01:01    320 * 240    avi");
    CMediaFile sound("/m/song.mp3", 5000, 0, 0, ClipKind::Sound);
    EXPECT_EQ(ClipInfoLine(sound, 0), "song.mp3           0.00MB    00:00:05    mp3");

    EXPECT_EQ(WholeSecondsMs(59.9), 59000u);
    EXPECT_EQ(WholeSecondsMs(0.5), 0u);
    EXPECT_EQ(WholeSecondsMs(-3), 0u);
    EXPECT_EQ(WholeSecondsMs(std::nan("")), 0u);
    EXPECT_EQ(WholeSecondsMs(1e12), 4294967000u);
}

} // namespace
