// test-links: cw_platform
// Private work folders: each run gets its own, clean-up removes only what a
// run made (never through a link, never a protected file), abandoned folders
// of finished processes go, and an unsafe suite folder is not used.
#include "platform/private_folder.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

#include <memory>

namespace {

// The process id of a process that has ended.
qint64 EndedPid()
{
    QProcess p;
    p.start("true", {});
    p.waitForFinished();
    return p.processId() > 0 ? p.processId() : 999999;
}

TEST(PrivateFolder, EachRunHasItsOwnAndRemovesOnlyThat)
{
    QTemporaryDir outside;
    ASSERT_TRUE(WriteFile(outside.filePath("target.txt"), "keep"));
    QTemporaryDir base;
    ASSERT_TRUE(WriteFile(base.filePath("keep.txt"), "x"));
    QFile::setPermissions(base.filePath("keep.txt"), QFile::ReadOwner);

    auto a = std::make_unique<CPrivateFolder>(base.path() + "/Temp");
    CPrivateFolder b(base.path() + "/Temp");
    ASSERT_FALSE(a->path().isEmpty());
    ASSERT_FALSE(b.path().isEmpty());
    EXPECT_NE(a->path(), b.path());
    EXPECT_EQ(QFile::permissions(a->path()) & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup), 0);

    // What a run leaves: files, a read-only file, a sub-folder, links out.
    ASSERT_TRUE(WriteFile(a->path() + "/video.avi", "x"));
    ASSERT_TRUE(WriteFile(a->path() + "/ro.pcm", "x"));
    QFile::setPermissions(a->path() + "/ro.pcm", QFile::ReadOwner);
    QDir(a->path()).mkdir("sub");
    ASSERT_TRUE(WriteFile(a->path() + "/sub/frame.yuv", "x"));
    QFile::link(outside.filePath("target.txt"), a->path() + "/link.txt");
    QFile::link(outside.path(), a->path() + "/linkdir");
    const QString gone = a->path();
    a.reset();

    EXPECT_EQ((std::vector { QFileInfo::exists(gone), QFileInfo::exists(b.path() + "/" + CPrivateFolder::kMarkerName),
                  QFileInfo::exists(base.filePath("keep.txt")) }),
        (std::vector { false, true, true }));
    EXPECT_EQ(QFile::permissions(base.filePath("keep.txt")) & QFile::WriteOwner, 0);
    EXPECT_EQ(ReadFile(outside.filePath("target.txt")), "keep");
}

TEST(PrivateFolder, RemovesOnlyAbandonedMarkedFolders)
{
    QTemporaryDir base;
    QTemporaryDir elsewhere;
    const QString dead = base.filePath("cw-dead");
    QDir().mkpath(dead + "/sub");
    ASSERT_TRUE(WriteFile(dead + "/" + CPrivateFolder::kMarkerName, QByteArray::number(EndedPid())));
    ASSERT_TRUE(WriteFile(dead + "/sub/x.yuv", "x"));
    // A folder of a running process (our parent), one without a marker, one
    // whose marker is garbage, and a link to a marked folder elsewhere.
    QDir().mkpath(base.filePath("cw-alive"));
    ASSERT_TRUE(
        WriteFile(base.filePath("cw-alive/") + CPrivateFolder::kMarkerName, QByteArray::number(qint64(getppid()))));
    QDir().mkpath(base.filePath("cw-nomarker"));
    QDir().mkpath(base.filePath("cw-garbage"));
    ASSERT_TRUE(WriteFile(base.filePath("cw-garbage/") + CPrivateFolder::kMarkerName, "not a pid"));
    ASSERT_TRUE(WriteFile(elsewhere.filePath(CPrivateFolder::kMarkerName), QByteArray::number(EndedPid())));
    QFile::link(elsewhere.path(), base.filePath("cw-link"));
    QDir().mkpath(base.filePath("user-folder"));

    EXPECT_EQ(CPrivateFolder::RemoveAbandoned(base.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(dead));
    for (const char* kept : { "cw-alive", "cw-nomarker", "cw-garbage", "cw-link", "user-folder" })
        EXPECT_TRUE(QFileInfo::exists(base.filePath(kept))) << kept;
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath(CPrivateFolder::kMarkerName)));
    EXPECT_EQ(CPrivateFolder::RemoveAbandoned(base.filePath("missing")), 0);
}

TEST(PrivateFolder, UnsafeSuiteFoldersAreNotUsed)
{
    QTemporaryDir suite;
    QString why;
    EXPECT_EQ(WorkFolderBase(suite.path(), &why), suite.path() + "/Temp");
    EXPECT_TRUE(why.isEmpty());
    for (const QString& bad : { QString(), QString("relative/suite"), suite.filePath("missing") }) {
        const QString base = WorkFolderBase(bad, &why);
        EXPECT_FALSE(why.isEmpty()) << bad.toStdString();
        EXPECT_TRUE(base.endsWith("/orvanta/Temp")) << base.toStdString();
        EXPECT_TRUE(QDir::isAbsolutePath(base));
    }
    // A relative base cannot hold a private folder.
    EXPECT_TRUE(CPrivateFolder("relative/Temp").path().isEmpty());
}

} // namespace
