// test-links: cw_shell cw_project cw_export cw_engine cw_media cw_config cw_platform
// The main frame's window: row and column size rules, the splitter bars, the
// work folder, the host object poll and the frame's life cycle (the window
// tree and a second Create: ui/shell_load.cpp).
#include "config/suite_settings.h"
#include "panes/timeline/timeline_view.h"
#include "shell_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

using Frame = ShellTest;

int TimelineHeight(CCW_MainFrame& f)
{
    return f.window()->sizes().value(1);
}

// Tall windows keep the timeline row at 219 pixels; short ones keep their
// row sizes.
TEST_F(Frame, RowRulesOfTheFrame)
{
    for (int height : { 600, 359 }) {
        frame.window()->resize(1000, height);
        EXPECT_EQ(TimelineHeight(frame), 219);
        EXPECT_EQ(frame.window()->sizes().value(0), height - 219 - 5);
    }
    frame.window()->resize(1000, 340);
    frame.window()->setSizes({ 200, 135 });
    frame.window()->resize(1000, 358);
    EXPECT_EQ(TimelineHeight(frame), 135);
    frame.window()->resize(1000, 359);
    EXPECT_EQ(TimelineHeight(frame), 219);
}

TEST_F(Frame, ColumnRulesOfTheInnerSplitter)
{
    CCW_SplitterWnd* inner = frame.innerSplitter();
    frame.window()->resize(1000, 600);
    ASSERT_EQ(inner->width(), 1000);
    EXPECT_EQ(inner->sizes().value(0), 510); // the ideal width

    // Narrowing keeps 272 pixels for the right column.
    frame.window()->resize(700, 600);
    EXPECT_EQ(inner->sizes().value(1), 272);
    EXPECT_EQ(inner->sizes().value(0), 700 - 272 - 5);

    // A left column below 120 pixels is widened again.
    inner->setSizes({ 60, 635 });
    ASSERT_LT(inner->sizes().value(0), 120);
    frame.window()->resize(720, 600);
    EXPECT_EQ(inner->sizes().value(0), 120);

    // Widening leaves a left column that fits alone.
    frame.window()->resize(1200, 600);
    EXPECT_EQ(inner->sizes().value(0), 120);
}

TEST_F(Frame, BarsReactOnlyWhereAllowed)
{
    frame.window()->resize(1000, 600);
    CCW_SplitterWnd* inner = frame.innerSplitter();
    EXPECT_FALSE(inner->AcceptsBarMouse({ 120, 5 }));
    EXPECT_TRUE(inner->AcceptsBarMouse({ 121, 5 }));
    EXPECT_TRUE(inner->AcceptsBarMouse({ 1000 - 265, 5 }));
    EXPECT_FALSE(inner->AcceptsBarMouse({ 1000 - 264, 5 }));
    EXPECT_FALSE(frame.window()->AcceptsBarMouse({ 500, 376 }));

    // A press on the frame's bar does not move it.
    QSplitterHandle* bar = frame.window()->handle(1);
    const QList<int> before = frame.window()->sizes();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(500, 2));
    QTest::mouseMove(bar, QPoint(500, -100));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(500, -100));
    EXPECT_EQ(frame.window()->sizes(), before);
    // It is drawn in the splitter colour.
    const QImage drawn = bar->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(drawn.width() / 2, drawn.height() / 2), QColor(80, 108, 177));
}

// ---------------------------------------------------------------------------

void Fill(const QString& folder)
{
    ASSERT_TRUE(QDir().mkpath(folder + "/sub/deeper"));
    for (const char* name : { "/a.avi", "/sub/b.wav", "/sub/deeper/c.yuv", "/.hidden" }) {
        ASSERT_TRUE(WriteFile(folder + QString::fromLatin1(name), "data"));
    }
    QFile::setPermissions(folder + "/sub/b.wav", QFileDevice::ReadOwner);
}

TEST_F(Frame, WorkFolderIsPrivateAndGoesWithTheEditor)
{
    // What a user keeps in <FOLDER>/Temp is never the editor's to delete.
    const QString temp = suite.path() + "/Temp";
    Fill(temp + "/mine");
    const QString first = frame.workFolder();
    ASSERT_TRUE(QFileInfo(first).isDir());
    Fill(first);
    frame.Destroy();
    EXPECT_FALSE(frame.window());
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_TRUE(QFileInfo::exists(temp + "/mine/sub/b.wav"));
    EXPECT_EQ(QFile::permissions(temp + "/mine/sub/b.wav") & QFileDevice::WriteOwner, 0);

    ASSERT_NE(frame.Create(&FixtureText, nullptr, &host), nullptr);
    EXPECT_TRUE(QFileInfo(frame.workFolder()).isDir());
    EXPECT_TRUE(QFileInfo::exists(temp + "/mine/a.avi"));
}

TEST_F(Frame, DestroyingTheHostWindowAlsoRemovesTheWorkFolder)
{
    auto* parent = new QWidget(&host);
    frame.Destroy();
    ASSERT_NE(frame.Create(&FixtureText, nullptr, parent), nullptr);
    const QString work = frame.workFolder();
    Fill(work);
    delete parent;
    EXPECT_FALSE(frame.window());
    EXPECT_FALSE(QFileInfo::exists(work));
}

TEST_F(Frame, UnusableSuiteFolderWorksInTheUsersDataFolder)
{
    frame.Destroy();
    CRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSuiteKey));
    ASSERT_TRUE(reg.WriteString("FOLDER", QString(300, 'x'))); // too long to read
    const bool existed = QFileInfo::exists("/Temp");
    ASSERT_NE(frame.Create(&FixtureText, nullptr, &host), nullptr);
    EXPECT_EQ(frame.suiteFolder(), "");
    EXPECT_TRUE(frame.workFolder().contains("/orvanta/Temp/")) << frame.workFolder().toStdString();
    frame.Destroy();
    EXPECT_EQ(QFileInfo::exists("/Temp"), existed);
    ASSERT_TRUE(reg.WriteString("FOLDER", "relative/suite"));
    ASSERT_NE(frame.Create(&FixtureText, nullptr, &host), nullptr);
    EXPECT_TRUE(frame.workFolder().contains("/orvanta/Temp/")) << frame.workFolder().toStdString();
}

// ---------------------------------------------------------------------------

TEST_F(Frame, HostPollStopsOnceThePhoneLinkExists)
{
    EXPECT_TRUE(frame.hostPollRunning());
    EXPECT_EQ(frame.hostPhoneLink(), nullptr);
    QObject link;
    host.setProperty(kHostPhoneLinkProperty, QVariant::fromValue<QObject*>(&link));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.hostPhoneLink() != nullptr; }, 3000));
    EXPECT_EQ(frame.hostPhoneLink(), &link);
    EXPECT_FALSE(frame.hostPollRunning());
}

TEST_F(Frame, AddMovieListReachesTheMediaList)
{
    AttachPanes();
    frame.AddMovieList("/m/Clip.avi");
    ASSERT_EQ(mediaList->sent.size(), 1u);
    EXPECT_EQ(mediaList->sent[0].message, msg::AddMovieList);
    EXPECT_EQ(mediaList->sent[0].wParam, 0u);
    EXPECT_EQ(mediaList->texts, QStringList { "/m/Clip.avi" });
}

} // namespace
