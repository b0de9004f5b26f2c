// test-links: cw_shell
// The media-list toolbar and the media browser.
#include "import/media_browser.h"
#include "import/browser_places.h"
#include "panes/media_list/thumbnail_wnd.h"
#include "panes/media_list/toolbar_wnd.h"
#include "shell/thumbnail_contain.h"
#include "shell_fixture.h"
#include "skin/skin_button.h"
#include "ui_watchdog.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMenu>

namespace {

QString NoText(QString, QString)
{
    return QString();
}

class ToolBarAndBrowser : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            // The font database loads on first use, as a host does at its start.
            const UiStallAllowance fontStart;
            QFontMetrics(QFont()).height();
        }
        context.resources = ResourceLookup(&NoText, nullptr);
        context.workFolder = dir.filePath("work");
        context.isDeviceName = [](const QString& name) { return name.toUpper() == "PHONE1"; };
        contain.AttachToolBar(toolBar = new CCW_ToolBarWnd(context, nullptr, dir.filePath("cache")));
        contain.AttachMediaList(list = new CCW_ThumbnailWnd(context, nullptr, dir.filePath("cache")));
    }
    BrowserSetup Setup() const
    {
        BrowserSetup setup;
        setup.resources = context.resources;
        setup.isDeviceName = context.isDeviceName;
        setup.thumbnailCache = dir.filePath("cache");
        return setup;
    }
    int Mode() { return int(SendMessage(&contain, msg::ListCount, 1, 0)); }

    TempRegistry registry;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    PaneContext context;
    Recorder frame { "frame" };
    CCW_ThumbnailContain contain { &frame, nullptr };
    CCW_ToolBarWnd* toolBar = nullptr;
    CCW_ThumbnailWnd* list = nullptr;
};

TEST_F(ToolBarAndBrowser, ToolBarViewsCountsAndDeletesAndTheBrowserPicksAndKeepsBookmarks)
{
    // View: 5 -> 6 -> 3 -> 4 -> 5.
    std::vector<int> modes { Mode() };
    for (int i = 0; i < 4; ++i) {
        toolBar->button(CCW_ToolBarWnd::kViewId)->click();
        modes.push_back(Mode());
    }
    EXPECT_EQ(modes, (std::vector<int> { 5, 6, 3, 4, 5 }));
    // ViewSide checks the current mode; an entry sets its mode.
    QMenu* menu = toolBar->BuildViewMenu();
    std::vector<int> checked;
    for (QAction* a : menu->actions())
        if (a->isChecked())
            checked.push_back(a->data().toInt());
    EXPECT_EQ(checked, std::vector<int> { CCW_ToolBarWnd::kViewThumbnailId });
    for (QAction* a : menu->actions())
        if (a->data().toInt() == CCW_ToolBarWnd::kViewDetailId)
            a->trigger();
    EXPECT_EQ(Mode(), 4);
    delete menu;

    // 0x5006 with wParam 0 counts the rows (picked files split by the import
    // rule: the scenario); Delete removes the selected rows.
    QCoreApplication::processEvents();
    list->AddHostFile("/m/b.avi", QString());
    list->AddHostFile("/m/c.jpg", QString());
    std::uint32_t count = 0;
    EXPECT_EQ(SendMessage(&contain, msg::ListCount, 0, ToLParam(&count)), 0);
    EXPECT_EQ(count, 2u);
    list->list()->selectAll();
    toolBar->button(CCW_ToolBarWnd::kDeleteId)->click();
    EXPECT_EQ(list->list()->count(), 0);

    // The browser picks from its start folder and keeps its bookmarks.
    const QString start = dir.filePath("start/inner");
    {
        // The test's own files, made on the UI thread.
        const UiStallAllowance making;
        SetSuiteValue("Mini Browser Path", start);
        QDir().mkpath(dir.filePath("start/inner/Videos"));
        QDir().mkpath(dir.filePath("start/inner/phone1"));
        for (const char* name : { "b.avi", "a.jpg", "c.mp3", "notes.txt", "line\nbreak.wav" }) {
            ASSERT_TRUE(WriteFile(QDir(start).filePath(name)));
        }
    }
    {
        CMS_Browser browser(Setup());
        // The missing start folder was created and written back.
        EXPECT_EQ(browser.folder(), start);
        ASSERT_TRUE(WaitFor([&] { return !browser.list()->IsListing(); }, 5000));
        EXPECT_EQ(browser.list()->paths(),
            (QStringList { start + "/b.avi", start + "/c.mp3", start + "/line\nbreak.wav", start + "/a.jpg" }));
        ASSERT_TRUE(WaitFor([&] { return browser.TreeShows(start, "Videos"); }, 10000));
        EXPECT_FALSE(browser.TreeShows(start, "phone1"));
        // Confirming with nothing selected: 1 and no paths.
        browser.show();
        browser.Confirm();
        EXPECT_EQ(browser.QDialog::result(), 1);
        EXPECT_TRUE(browser.selectedPaths().isEmpty());
        // One user action per turn of the event loop.
        for (const auto& action :
            std::vector<std::function<void()>> { [&] { browser.AddBookmark(); }, [&] { browser.GoTo(dir.path()); },
                [&] { browser.AddBookmark(); }, [&] { browser.AddBookmark(); } }) { // the last: already there, refused
            action();
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(browser.bookmarks().size(), 2);
    }
    // A second browser (a restart) has the bookmarks and the folder.
    CMS_Browser again(Setup());
    EXPECT_EQ(again.bookmarks(), (QStringList { start, dir.path() }));
    EXPECT_EQ(again.folder(), start);
    ASSERT_TRUE(WaitFor([&] { return !again.list()->IsListing(); }, 5000));
    again.list()->SelectAll();
    again.show();
    again.Confirm();
    EXPECT_EQ(again.selectedPaths().size(), 4);
    // A start folder naming a file falls back to the home folder.
    SetSuiteValue("Mini Browser Path", start + "/b.avi");
    EXPECT_EQ(BrowserStartFolder(), QDir::homePath());
}

} // namespace
