// test-links: cw_project cw_platform
#include "project/media_file.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

TEST(MediaFile, EmptyRecordRefusesCheckedSetters)
{
    CMediaFile r;
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_FALSE(r.SetKind(2) || r.SetWidth(1) || r.SetHeight(1) || r.SetSize(1, 1) || r.SetLength(1)
        || r.SetMediaStart(1) || r.SetTimelineStart(1) || r.SetTrim(1, 1) || r.SetPlacement(1, 1));
    EXPECT_EQ(r.kind(), 0);
    EXPECT_EQ(r.length() + r.mediaStart() + r.timelineStart(), 0u);
    EXPECT_EQ(r.width() + r.height(), 0);
}

TEST(MediaFile, NameCutsTheLastFourCharacters)
{
    const std::pair<const char*, const char*> rows[] = { { "/a/clip.mpeg", "clip" }, { "/a/clip.MPEG", "clip" },
        { "/a/clip.mp3", "clip" }, { "/a/b.c/song.wav", "song" }, { "/a/clip.jpeg", "clip." }, { "/a/ab", "" } };
    for (const auto& [path, name] : rows)
        EXPECT_EQ(CMediaFile::NameFromPath(path), name) << path;
}

TEST(MediaFile, SetFileDerivesKindFromTheEndingAndResetsTheRest)
{
    // Endings of both lists in any case, a four-letter one, and one of neither.
    const std::pair<const char*, int> rows[] = { { "/x/a.AVI", 1 }, { "/x/a.Mpeg", 1 }, { "/x/a.skm", 1 },
        { "/x/a.MP3", 2 }, { "/x/a.wav", 2 }, { "/x/a.jpg", 3 } };
    for (const auto& [path, kind] : rows) {
        CMediaFile r("/old.mp3", 4000, 10, 10, 3);
        r.SetSelected(true);
        r.SetRect(1, 2, 3, 4);
        r.SetTimelineStart(7000);
        ASSERT_TRUE(r.SetFile(path)) << path;
        EXPECT_EQ(r.kind(), kind) << path; // other endings keep the old kind
        EXPECT_EQ(std::tuple(r.name(), r.width(), r.height(), r.sourceLength(), r.timelineStart(), r.IsSelected(),
                      r.rect().isEmpty()),
            std::tuple(QString("a"), 0, 0, 0u, 0u, false, true));
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
    CMediaFile r("/media/clip.avi", 5000, 320, 240, ClipKind::VideoWithSound);
    EXPECT_EQ(r.length(), r.sourceLength()); // a new record uses the whole file
    r.SetSelected(true);
    EXPECT_FALSE(r.Assign(CMediaFile()));
    EXPECT_EQ(r.path(), "/media/clip.avi");
    EXPECT_TRUE(r.IsSelected());

    CMediaFile other("/m/song.mp3", 3000, 0, 0, ClipKind::Sound);
    other.SetTrim(500, 1500);
    EXPECT_TRUE(r.Assign(other));
    EXPECT_EQ(std::tuple(r.path(), r.mediaStart(), r.length(), r.IsSelected()),
        std::tuple(QString("/m/song.mp3"), 500u, 1500u, false));

    r.Clear();
    EXPECT_EQ(std::tuple(r.IsEmpty(), r.path(), r.name(), r.length(), r.kind()),
        std::tuple(true, QString(), QString(), 0u, 0));
}

} // namespace
