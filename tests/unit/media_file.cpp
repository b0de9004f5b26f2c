// test-links: cw_project cw_platform
#include "project/media_file.h"

#include <gtest/gtest.h>

namespace {

CMediaFile Filled()
{
    return CMediaFile("/media/clip.avi", 5000, 320, 240, ClipKind::VideoWithSound);
}

TEST(MediaFile, EmptyRecordRefusesCheckedSetters)
{
    CMediaFile r;
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_FALSE(r.IsSelected());
    EXPECT_TRUE(r.rect().isEmpty());
    EXPECT_FALSE(r.SetKind(2));
    EXPECT_FALSE(r.SetWidth(1));
    EXPECT_FALSE(r.SetHeight(1));
    EXPECT_FALSE(r.SetSize(1, 1));
    EXPECT_FALSE(r.SetLength(1));
    EXPECT_FALSE(r.SetMediaStart(1));
    EXPECT_FALSE(r.SetTimelineStart(1));
    EXPECT_FALSE(r.SetTrim(1, 1));
    EXPECT_FALSE(r.SetPlacement(1, 1));
    EXPECT_EQ(r.kind(), 0);
    EXPECT_EQ(r.length(), 0u);
    EXPECT_EQ(r.mediaStart(), 0u);
    EXPECT_EQ(r.timelineStart(), 0u);
    EXPECT_EQ(r.width(), 0);

    // The unchecked setters store even on an empty record.
    r.SetTimes(1000, 2000, 9000);
    r.SetRectXYWH(10, 20, 30, 40);
    EXPECT_EQ(r.mediaStart(), 1000u);
    EXPECT_EQ(r.length(), 2000u);
    EXPECT_EQ(r.sourceLength(), 9000u);
    EXPECT_EQ(r.rect(), (MediaRect { 10, 20, 40, 60 }));
    EXPECT_TRUE(r.IsEmpty());
}

TEST(MediaFile, ConstructedFromFile)
{
    const CMediaFile r = Filled();
    EXPECT_FALSE(r.IsEmpty());
    EXPECT_EQ(r.path(), "/media/clip.avi");
    EXPECT_EQ(r.name(), "clip");
    EXPECT_EQ(r.sourceLength(), 5000u);
    EXPECT_EQ(r.length(), 5000u);
    EXPECT_EQ(r.mediaStart(), 0u);
    EXPECT_EQ(r.timelineStart(), 0u);
    EXPECT_EQ(r.width(), 320);
    EXPECT_EQ(r.height(), 240);
    EXPECT_EQ(r.kind(), ClipKind::VideoWithSound);
    EXPECT_FALSE(r.IsSelected());
}

TEST(MediaFile, NameCutsTheExtension)
{
    EXPECT_EQ(CMediaFile::NameFromPath("/a/clip.mpeg"), "clip");
    EXPECT_EQ(CMediaFile::NameFromPath("/a/clip.MPEG"), "clip");
    EXPECT_EQ(CMediaFile::NameFromPath("/a/clip.mp3"), "clip");
    EXPECT_EQ(CMediaFile::NameFromPath("/a/b.c/song.wav"), "song");
    // Four characters are cut whatever the extension is.
    EXPECT_EQ(CMediaFile::NameFromPath("/a/clip.jpeg"), "clip.");
    EXPECT_EQ(CMediaFile::NameFromPath("/a/ab"), "");
}

TEST(MediaFile, SetFileDerivesKindFromTheEnding)
{
    struct Row {
        const char* path;
        int kind;
    };
    const Row rows[] = { { "/x/a.AVI", 1 }, { "/x/a.mpg", 1 }, { "/x/a.Mpeg", 1 }, { "/x/a.wmv", 1 }, { "/x/a.3gp", 1 },
        { "/x/a.3g2", 1 }, { "/x/a.k3g", 1 }, { "/x/a.mp4", 1 }, { "/x/a.skm", 1 }, { "/x/a.MP3", 2 },
        { "/x/a.wav", 2 }, { "/x/a.jpg", 3 } };
    for (const Row& row : rows) {
        CMediaFile r("/old.mp3", 4000, 10, 10, 3);
        r.SetSelected(true);
        r.SetRect(1, 2, 3, 4);
        r.SetTimelineStart(7000);
        ASSERT_TRUE(r.SetFile(row.path)) << row.path;
        EXPECT_EQ(r.kind(), row.kind) << row.path; // other endings keep the old kind
        EXPECT_EQ(r.path(), row.path);
        EXPECT_EQ(r.name(), "a");
        EXPECT_EQ(r.width(), 0);
        EXPECT_EQ(r.height(), 0);
        EXPECT_EQ(r.sourceLength(), 0u);
        EXPECT_EQ(r.timelineStart(), 0u);
        EXPECT_FALSE(r.IsSelected());
        EXPECT_TRUE(r.rect().isEmpty());
        EXPECT_FALSE(r.IsEmpty());
    }

    CMediaFile empty;
    EXPECT_FALSE(empty.SetFile(""));
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(empty.SetFile("/x/new.wav"));
    EXPECT_FALSE(empty.IsEmpty());
    EXPECT_EQ(empty.kind(), ClipKind::Sound);
}

TEST(MediaFile, AssignRefusesAnEmptyRecordAndClearEmpties)
{
    CMediaFile r = Filled();
    r.SetSelected(true);
    EXPECT_FALSE(r.Assign(CMediaFile()));
    EXPECT_EQ(r.path(), "/media/clip.avi");
    EXPECT_TRUE(r.IsSelected());

    CMediaFile other("/m/song.mp3", 3000, 0, 0, ClipKind::Sound);
    other.SetTrim(500, 1500);
    EXPECT_TRUE(r.Assign(other));
    EXPECT_EQ(r.path(), "/m/song.mp3");
    EXPECT_EQ(r.mediaStart(), 500u);
    EXPECT_EQ(r.length(), 1500u);
    EXPECT_FALSE(r.IsSelected());

    r.Clear();
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_TRUE(r.path().isEmpty());
    EXPECT_TRUE(r.name().isEmpty());
    EXPECT_EQ(r.length(), 0u);
    EXPECT_EQ(r.kind(), 0);
}

} // namespace
