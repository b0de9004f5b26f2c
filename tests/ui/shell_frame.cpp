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
#include <QTest>

namespace {

using Frame = ShellTest;

int TimelineHeight(CCW_MainFrame& f)
{
    return f.window()->sizes().value(1);
}

// Tall windows keep the timeline row at 219 pixels; short ones keep the row
// sizes the user set. The columns keep the right one's and the left one's
// minimum.
TEST_F(Frame, RowAndColumnRulesAndTheBars)
{
    frame.window()->resize(1000, 600);
    EXPECT_EQ(TimelineHeight(frame), 219);
    frame.window()->resize(1000, 340);
    frame.window()->setSizes({ 200, 135 });
    frame.window()->resize(1000, 358);
    EXPECT_EQ(TimelineHeight(frame), 135);

    // Narrowing keeps 272 pixels for the right column; a left column below
    // 120 pixels is widened again.
    CCW_SplitterWnd* inner = frame.innerSplitter();
    frame.window()->resize(700, 600);
    EXPECT_EQ(inner->sizes().value(1), 272);
    inner->setSizes({ 60, 635 });
    ASSERT_LT(inner->sizes().value(0), 120);
    frame.window()->resize(720, 600);
    EXPECT_EQ(inner->sizes().value(0), 120);

    // The inner bar takes the mouse only where both columns keep their
    // minimum widths; a press on the frame's bar does not move it.
    frame.window()->resize(1000, 600);
    EXPECT_FALSE(frame.innerSplitter()->AcceptsBarMouse({ 120, 5 }));
    EXPECT_TRUE(frame.innerSplitter()->AcceptsBarMouse({ 121, 5 }));
    EXPECT_FALSE(frame.window()->AcceptsBarMouse({ 500, 376 }));
    QSplitterHandle* bar = frame.window()->handle(1);
    const QList<int> before = frame.window()->sizes();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(500, 2));
    QTest::mouseMove(bar, QPoint(500, -100));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(500, -100));
    EXPECT_EQ(frame.window()->sizes(), before);
}

void Fill(const QString& folder)
{
    ASSERT_TRUE(QDir().mkpath(folder + "/sub/deeper"));
    for (const char* name : { "/a.avi", "/sub/b.wav", "/sub/deeper/c.yuv", "/.hidden" }) {
        ASSERT_TRUE(WriteFile(folder + QString::fromLatin1(name), "data"));
    }
    QFile::setPermissions(folder + "/sub/b.wav", QFileDevice::ReadOwner);
}

TEST_F(Frame, WorkFolderIsPrivateAndGoesWithTheEditorOrTheHostWindow)
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

    // Destroying the host window removes it too.
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
    const bool existed = QFileInfo::exists("/Temp");
    // A value too long to read, and a relative one (read, but not used).
    for (const QString& folder : { QString(300, 'x'), QString("relative/suite") }) {
        ASSERT_TRUE(reg.WriteString("FOLDER", folder));
        ASSERT_NE(frame.Create(&FixtureText, nullptr, &host), nullptr);
        EXPECT_EQ(frame.suiteFolder(), folder.size() < 300 ? folder : QString());
        EXPECT_TRUE(frame.workFolder().contains("/orvanta/Temp/")) << frame.workFolder().toStdString();
        frame.Destroy();
    }
    EXPECT_EQ(QFileInfo::exists("/Temp"), existed);
}

} // namespace
