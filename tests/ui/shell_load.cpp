// test-links: cw_config cw_platform
// A host's view of the component: load build/lib/libcw_load.so with dlopen,
// find exactly the three entry points, create the editor under a host window,
// hand it a file, destroy it and create it again.
#include "cw_load.h"
#include "recorder.h"
#include "test_util.h"
#include "ui_watchdog.h"

#include <QDir>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

QString HostText(QString section, QString key)
{
    return section + "/" + key;
}

QString HostImage(QString, QString)
{
    return QString();
}

class ComponentLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSuiteValue("FOLDER", suite.path());
        {
            // Loading the component is the host's start-up (the first load
            // of the process takes a few hundred milliseconds), not the
            // editor's work on the UI thread.
            const UiStallAllowance loading;
            library = dlopen(CW_BUILD_DIR "/lib/libcw_load.so", RTLD_NOW | RTLD_LOCAL);
        }
        ASSERT_NE(library, nullptr) << dlerror();
        create = reinterpret_cast<CwCreateFn>(dlsym(library, "Create"));
        addMovieList = reinterpret_cast<CwAddMovieListFn>(dlsym(library, "AddMovieList"));
        destroyBtn = reinterpret_cast<CwDestroyBtnFn>(dlsym(library, "DestroyBtn"));
        ASSERT_TRUE(create && addMovieList && destroyBtn);
        // Internal classes stay hidden.
        ASSERT_EQ(dlsym(library, "_ZN13CCW_MainFrame8instanceEv"), nullptr);
        ASSERT_EQ(dlsym(library, "_Z11SendMessageP7QObjectjmlb"), nullptr);
        host.resize(900, 600);
        host.show();
    }
    void TearDown() override
    {
        // The library stays loaded: its frame object lives for the process.
        if (destroyBtn)
            destroyBtn();
    }
    QWidget* Create()
    {
        return static_cast<QWidget*>(create(reinterpret_cast<std::uintptr_t>(&HostText),
            reinterpret_cast<std::uintptr_t>(&HostImage), static_cast<void*>(&host)));
    }
    // The editor's own (private) folders under Temp (what else is in Temp
    // stays: ui/shell_frame.cpp).
    int PrivateFolders() const
    {
        return QDir(suite.path() + "/Temp").entryList({ "cw-*" }, QDir::Dirs | QDir::Hidden).size();
    }

    TempRegistry registry;
    QTemporaryDir suite;
    Recorder host { "host" }; // the host's main window
    void* library = nullptr;
    CwCreateFn create = nullptr;
    CwAddMovieListFn addMovieList = nullptr;
    CwDestroyBtnFn destroyBtn = nullptr;
};

TEST_F(ComponentLibrary, CreateAddDestroyAndCreateAgain)
{
    QWidget* editor = Create();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->parentWidget(), &host);
    EXPECT_EQ(editor->objectName(), "CCW_MainFrame");
    EXPECT_TRUE(editor->isVisible());
    for (const char* pane : { "CCW_ThumbnailContain", "CCW_PreviewContain", "CCW_TimeLineContain" })
        EXPECT_NE(editor->findChild<QWidget*>(pane), nullptr) << pane;
    EXPECT_NE(editor->findChild<QWidget*>("Video TimeLine"), nullptr);
    EXPECT_EQ(PrivateFolders(), 1);

    addMovieList(QString("/m/clip.avi"));
    addMovieList(QString("/m/CLIP.avi"));
    // The host and the component each carry their own copy of the message
    // layer; both agree on the event type.
    const QString file = "/m/a.avi", info = "a.avi info";
    host.clear();
    SendMessage(editor, msg::HostStatus, ToWParam(&file), ToLParam(&info));
    SendMessage(editor, msg::HostResendStatus);
    EXPECT_EQ(host.texts, (QStringList { info, info }));

    // A second Create while the editor lives is refused.
    EXPECT_EQ(Create(), nullptr);

    // The editor's own folder goes with it.
    destroyBtn();
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
    EXPECT_EQ(PrivateFolders(), 0);

    QWidget* again = Create();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->parentWidget(), &host);
}

} // namespace
