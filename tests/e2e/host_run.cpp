// orvanta-host as a user starts it: a separate process under the offscreen
// platform with its own registry database and suite folder, driven by a
// script. The editor component is the real libcw_load.so of this build.
// test-links: cw_config cw_platform
#include "config/registry.h"
#include "config/suite_settings.h"
#include "media_files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

const QString kBuild = QStringLiteral(CW_BUILD_DIR);

class HostRun : public ::testing::Test {
protected:
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

// A missing component, one without the entry points (the comm library) or
// missing suite data end with 2; a bad command line or script with 1.
TEST_F(HostRun, BadStartsEndWithTheirStatusAndSayWhy)
{
    const QString comm = kBuild + "/lib/libcw_comm.so";
    const std::tuple<QStringList, int, const char*> runs[] = {
        { { "--component", home_.filePath("none/libcw_load.so") }, 2, "none/libcw_load.so" },
        { { "--component", comm }, 2, "\"Create\"" },
        { { "--data", home_.filePath("nodata"), "--component", comm }, 2, "suite data" },
        { { "--no-such-option" }, 1, "--no-such-option" },
        { { "--script", script("add a.avi\nfly away\n") }, 1, "line 2" },
        { { "--script", home_.filePath("absent.txt") }, 1, "absent.txt" },
    };
    for (const auto& [args, status, said] : runs) {
        const ToolRun r = host(args);
        EXPECT_EQ(r.exitCode, status) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.err.contains(said)) << r.err.constData();
    }
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

    // ORVT_LANG and APP_TITLE are kept, even empty.
    const QString user = home_.filePath("data/orvanta");
    const std::pair<const char*, QString> values[] = { { "FOLDER", user }, { "INIDIR", user + "/ini" },
        { "CURRENT_PATH", user }, { "IMAGEDIR", user + "/image" }, { "ORVT_DEFAULT_MODELNAME", "TX-07" },
        { "ORVT_DISPLAY_MODELNAME", "TX-07" }, { "ORVT_LANG", "KR" }, { "APP_TITLE", "" } };
    for (const auto& [name, value] : values)
        EXPECT_EQ(suiteValue(name), value) << name;
    EXPECT_EQ(GetAppTitle(), kDefaultAppTitle); // which the editor shows as the default

    // What the values point at is usable by the editor.
    for (const QString& path : { GetModelIniPath(), GetStringIniPath(), GetImageFolder() + "tm_ui_topleft.png",
             GetCurrentPath() + "/image/progress_bar1.png", user + "/phone" })
        EXPECT_TRUE(QFileInfo::exists(path)) << qPrintable(path);
    for (const char* lib : { "libOTTEnc.so", "libOTTAVIEncoder.so" }) // linked when bundled
        EXPECT_TRUE(
            !QFileInfo::exists(QStringLiteral(CW_SUITE_DIR) + "/" + lib) || QFileInfo(user + "/" + lib).isSymLink())
            << lib;

    // The command line may change the model and the language.
    r = host({ "--component", home_.filePath("none.so"), "--model", "ZT-500", "--lang", "en" });
    ASSERT_EQ(r.exitCode, 2);
    EXPECT_EQ(GetDisplayModelName(), "ZT-500");
    EXPECT_EQ(GetLanguage(), "EN");
    EXPECT_TRUE(GetModelIniPath().endsWith("/ini/ZT-500.ini"));
}

// At scale 2, where the script's positions are in the window's own
// (unscaled) pixels, after a screenshot of the start-up (--screenshot) (ui/timeline_editing.cpp drags and uses the menu
// at scale 1).
TEST_F(HostRun, ScriptEditsTheTimelineWithMenuDragAndKeysAtScaleTwo)
{
    if (!QFileInfo::exists(kBuild + "/lib/libcw_load.so"))
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
    const QString start = home_.filePath("start.png");
    ToolRun r
        = host({ "--no-phone", "--screenshot", start, "--script", script(text) }, 120000, { "QT_SCALE_FACTOR=2" });
    ASSERT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    const QJsonObject timeline = QJsonDocument::fromJson(ReadFile(state)).object()["timeline"].toObject();
    const QJsonArray clips = timeline["tracks"].toArray()[1].toObject()["clips"].toArray();
    ASSERT_EQ(clips.size(), 2);
    EXPECT_EQ(clips[0].toObject()["name"].toString(), "b");
    EXPECT_EQ(clips[0].toObject()["length"].toInt(), 5000);
    EXPECT_EQ(clips[1].toObject()["timelineStart"].toInt(), 5000);
    EXPECT_EQ(timeline["zoom"].toInt(), 66);
    EXPECT_EQ(timeline["activeTrack"].toInt(), 2);
    for (const QString& file : { shot, start }) {
        const QImage img(file);
        ASSERT_FALSE(img.isNull()) << qPrintable(file);
        EXPECT_GE(img.width(), 1600);
        EXPECT_GT(ColourCount(img), 3);
    }
}
