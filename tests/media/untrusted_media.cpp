// test-links: cw_platform
// Opening untrusted media: only local files of the containers the editor
// reads, no playlists or lists that pull in other files, no oversized
// pictures, and broken files refused without a crash.
#include "platform/media_input.h"
#include "test_util.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

class UntrustedMedia : public ::testing::Test {
protected:
    QString Make(const QString& name, const QStringList& args)
    {
        const QString path = dir.filePath(name);
        return RunFfmpeg(args + QStringList { path }) ? path : QString();
    }
    QString Text(const QString& name, const QByteArray& text)
    {
        EXPECT_TRUE(WriteFile(dir.filePath(name), text));
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

TEST_F(UntrustedMedia, AcceptedContainersOpen)
{
    const QString tone = "sine=frequency=440:duration=0.5";
    const QString picture = "color=c=red:s=64x48:d=0.5";
    for (const QString& file : { Make("a.avi", { "-f", "lavfi", "-i", picture, "-c:v", "mjpeg" }),
             Make("b.3gp", { "-f", "lavfi", "-i", picture, "-c:v", "mpeg4" }),
             Make("c.mp3", { "-f", "lavfi", "-i", tone }), Make("d.wav", { "-f", "lavfi", "-i", tone }) }) {
        ASSERT_FALSE(file.isEmpty());
        EXPECT_NE(OpenMediaInput(file), nullptr) << file.toStdString();
    }
}

TEST_F(UntrustedMedia, ListsSequencesAndOversizedPicturesAreRefused)
{
    const QString clip = Make("clip.avi", { "-f", "lavfi", "-i", "color=s=64x48:d=0.5", "-c:v", "mjpeg" });
    ASSERT_FALSE(clip.isEmpty());
    const QString png = Make("frame.png", { "-f", "lavfi", "-i", "color=s=64x48", "-frames:v", "1" });
    ASSERT_FALSE(png.isEmpty());
    QFile::copy(png, dir.filePath("picture.avi"));
    const QString wide
        = Make("wide.avi", { "-f", "lavfi", "-i", "color=s=8200x16:d=0.04", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p" });
    const QString huge = Make(
        "huge.avi", { "-f", "lavfi", "-i", "color=s=6400x6400:d=0.04", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p" });
    ASSERT_FALSE(wide.isEmpty());
    ASSERT_FALSE(huge.isEmpty());

    const QStringList refused {
        Text("playlist.avi", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + clip.toUtf8() + "\n#EXT-X-ENDLIST\n"),
        Text("concat.avi", "ffconcat version 1.0\nfile '" + clip.toUtf8() + "'\n"), dir.filePath("picture.avi"), wide,
        huge, dir.filePath("missing.avi"), dir.path(), QString()
    };
    for (const QString& file : refused)
        EXPECT_EQ(OpenMediaInput(file), nullptr) << file.toStdString();
}

TEST_F(UntrustedMedia, TruncatedAndJunkFilesAreRefusedCleanly)
{
    const QString movie = Make("m.mp4", { "-f", "lavfi", "-i", "testsrc=s=64x48:d=1", "-c:v", "mpeg4" });
    ASSERT_FALSE(movie.isEmpty());
    const QByteArray whole = ReadFile(movie);
    for (int cut : { 0, 8, 64, 600 }) {
        const QString path = Text(QString("cut%1.mp4").arg(cut), whole.left(cut));
        EXPECT_EQ(OpenMediaInput(path), nullptr) << cut;
    }
    EXPECT_EQ(OpenMediaInput(Text("junk.avi", QByteArray(4096, '\x5a'))), nullptr);
}

} // namespace
