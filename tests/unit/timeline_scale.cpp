// test-links: cw_project cw_platform
// The timeline's scale, scroll extent and zoom to fit, and the clip texts.
#include "project/timeline_scale.h"
#include "project/clip_text.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

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
    EXPECT_EQ(
        (std::vector { ScrollExtent(4), ScrollExtent(20), ScrollExtent(38) }), (std::vector { 600, 8400, 32766 }));

    // Capped at 32 pixels per second (66); 6 pixels per second (40); quarter
    // minutes (29), but 36 is above the quarter range; minutes (3).
    EXPECT_EQ((std::vector { ZoomToFit(10000, 600), ZoomToFit(100000, 600), ZoomToFit(400000, 600),
                  ZoomToFit(301000, 600), ZoomToFit(3600000, 200), ZoomToFit(500, 600), ZoomToFit(0, 600),
                  ZoomToFit(std::int64_t(UINT32_MAX) * 3, 600) }),
        (std::vector<std::optional<int>> { 66, 40, 29, std::nullopt, 3, 66, std::nullopt, std::nullopt }));
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

    EXPECT_EQ((std::vector { WholeSecondsMs(59.9), WholeSecondsMs(0.5), WholeSecondsMs(-3),
                  WholeSecondsMs(std::nan("")), WholeSecondsMs(1e12) }),
        (std::vector<std::uint32_t> { 59000u, 0u, 0u, 0u, 4294967000u }));
}

} // namespace
