// orvanta-host as a user starts it: a separate process under the offscreen
// platform with its own registry database and suite folder, driven by a
// script. The editor component is the real libcw_load.so of this build.
// test-links: cw_config cw_platform
#include "config/registry.h"
#include "config/suite_settings.h"
#include "media_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kBuild = QStringLiteral(CW_BUILD_DIR);

class HostRun : public ::testing::Test {
protected:
    static bool haveComponent() { return QFileInfo::exists(kBuild + "/lib/libcw_load.so"); }

    // Runs the host offscreen with this test's registry and home folders.
    ToolRun host(const QStringList& args, int timeoutMs = 120000, const QStringList& extraEnv = {})
    {
        return RunTool(kBuild + "/bin/orvanta-host", args,
            QStringList { "QT_QPA_PLATFORM=offscreen", "ORVANTA_COMPONENT=", "XDG_DATA_HOME=" + home_.filePath("data"),
                "XDG_CONFIG_HOME=" + home_.filePath("config"), "XDG_CACHE_HOME=" + home_.filePath("cache") }
                + extraEnv,
            timeoutMs);
    }

    QString script(const QString& text)
    {
        const QString path = home_.filePath("script.txt");
        EXPECT_TRUE(WriteFile(path, text.toUtf8()));
        return path;
    }

    static QString suiteValue(const char* name) { return ReadSuiteString(name, 1024).value_or("<missing>"); }

    TempRegistry registry_;
    QTemporaryDir home_;
};

} // namespace

TEST_F(HostRun, MissingComponentOrExportEndsWithStatus2)
{
    ToolRun r = host({ "--component", home_.filePath("none/libcw_load.so") });
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_TRUE(r.err.contains("none/libcw_load.so")) << r.err.constData();

    // A real library without the entry points: the comm library.
    r = host({ "--component", kBuild + "/lib/libcw_comm.so" });
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("\"Create\"")) << r.err.constData();

    r = host({ "--data", home_.filePath("nodata"), "--component", kBuild + "/lib/libcw_comm.so" });
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("suite data")) << r.err.constData();
}

TEST_F(HostRun, BadCommandLineOrScriptEndsWithStatus1)
{
    ToolRun r = host({ "--no-such-option" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("--no-such-option"));
    r = host({ "--script", script("add a.avi\nfly away\n") });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("line 2")) << r.err.constData();
    r = host({ "--script", home_.filePath("absent.txt") });
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(HostRun, FirstRunWritesSuiteDefaultsAndKeepsExistingValues)
{
    {
        CRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSuiteKey));
        ASSERT_TRUE(reg.WriteString("ORVT_LANG", "KR"));
        ASSERT_TRUE(reg.WriteString("APP_TITLE", ""));
    }
    // Without a component the host stops after publishing its values.
    ToolRun r = host({ "--component", home_.filePath("none.so") });
    ASSERT_EQ(r.exitCode, 2) << r.err.constData();

    const QString user = home_.filePath("data/orvanta");
    EXPECT_EQ(suiteValue("FOLDER"), user);
    EXPECT_EQ(suiteValue("INIDIR"), user + "/ini");
    EXPECT_EQ(suiteValue("CURRENT_PATH"), user);
    EXPECT_EQ(suiteValue("IMAGEDIR"), user + "/image");
    EXPECT_EQ(suiteValue("ORVT_DEFAULT_MODELNAME"), "TX-07");
    EXPECT_EQ(suiteValue("ORVT_DISPLAY_MODELNAME"), "TX-07");
    EXPECT_EQ(suiteValue("ORVT_LANG"), "KR"); // kept
    EXPECT_EQ(suiteValue("APP_TITLE"), ""); // kept, even empty
    EXPECT_EQ(GetAppTitle(), kDefaultAppTitle); // which the editor shows as the default

    // What the values point at is usable by the editor.
    EXPECT_TRUE(QFileInfo::exists(GetModelIniPath())) << qPrintable(GetModelIniPath());
    EXPECT_TRUE(QFileInfo::exists(GetStringIniPath()));
    EXPECT_TRUE(QFileInfo::exists(GetImageFolder() + "tm_ui_topleft.png"));
    EXPECT_TRUE(QFileInfo::exists(GetCurrentPath() + "/image/progress_bar1.png"));
    EXPECT_TRUE(QDir(user + "/phone").exists());
    for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" }) {
        if (QFileInfo::exists(QStringLiteral(CW_SUITE_DIR) + "/" + lib)) {
            EXPECT_TRUE(QFileInfo(user + "/" + lib).isSymLink()) << lib;
        }
    }

    // The command line may change the model and the language.
    r = host({ "--component", home_.filePath("none.so"), "--model", "ZT-500", "--lang", "en" });
    ASSERT_EQ(r.exitCode, 2);
    EXPECT_EQ(GetDisplayModelName(), "ZT-500");
    EXPECT_EQ(GetLanguage(), "EN");
    EXPECT_TRUE(GetModelIniPath().endsWith("/ini/ZT-500.ini"));
}

TEST_F(HostRun, ScreenshotOptionSavesTheWindowAfterStartUp)
{
    if (!haveComponent())
        GTEST_SKIP() << "libcw_load.so is not built yet";
    const QString shot = home_.filePath("start.png");
    ToolRun r = host({ "--no-phone", "--screenshot", shot });
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(ColourCount(img), 3);
}

// At scale 2, where the script's positions are in the window's own
// (unscaled) pixels (ui/timeline_editing.cpp drags and uses the menu at
// scale 1).
TEST_F(HostRun, ScriptEditsTheTimelineWithMenuDragAndKeysAtScaleTwo)
{
    if (!haveComponent())
        GTEST_SKIP() << "libcw_load.so is not built yet";
    for (const char* name : { "a.wav", "b.wav" }) {
        ASSERT_TRUE(RunFfmpeg(
            { "-f", "lavfi", "-i", "sine=frequency=440", "-t", name[0] == 'a' ? "3" : "5", home_.filePath(name) }));
    }
    const QString state = home_.filePath("timeline.json");
    const QString shot = home_.filePath("timeline.png");
    // Two sound files through the media menu, fitted; the second (b,
    // selected) to the start with the context menu, back to the end by
    // dragging it past the last box, to the start again with Home; a click
    // on the voice track, named by its id, makes that track active.
    const QString text = QString("answer-path \"%1\"\nclick AudioOpen\nwait 2000\n"
                                 "answer-path \"%2\"\nclick AudioOpen\nwait 2000\n"
                                 "click fit\nwait 200\n"
                                 "rclick \"Audio TimeLine\" 150 29\nwait-for dialog\nmenu MOVE_FIRST\nwait 200\n"
                                 "drag \"Audio TimeLine\" 50 29 450 29\nwait 200\n"
                                 "key CCW_TimeLineWnd Home\nwait 200\nclick CCW_TimeLineView/0x17E6 5 5\nwait 200\n"
                                 "state \"%3\"\nscreenshot \"%4\"\nquit\n")
                             .arg(home_.filePath("a.wav"), home_.filePath("b.wav"), state, shot);
    ToolRun r = host({ "--no-phone", "--script", script(text) }, 120000, { "QT_SCALE_FACTOR=2" });
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    const QJsonObject timeline = QJsonDocument::fromJson(ReadFile(state)).object()["timeline"].toObject();
    const QJsonArray clips = timeline["tracks"].toArray()[1].toObject()["clips"].toArray();
    ASSERT_EQ(clips.size(), 2);
    EXPECT_EQ(clips[0].toObject()["name"].toString(), "b");
    EXPECT_EQ(clips[0].toObject()["length"].toInt(), 5000);
    EXPECT_EQ(clips[1].toObject()["timelineStart"].toInt(), 5000);
    EXPECT_EQ(timeline["zoom"].toInt(), 66);
    EXPECT_EQ(timeline["activeTrack"].toInt(), 2);
    const QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GE(img.width(), 1600);
    EXPECT_GT(ColourCount(img), 3);
}
