// test-links: cw_config cw_platform
#include "config/media_classify.h"
#include "config/registry.h"
#include "config/resources.h"
#include "config/suite_settings.h"
#include "test_util.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QString imageTable(QString section, QString key)
{
    if (section == "CW_PREVIEWVIDEO_BTN_PLAY" && key == "IMAGE")
        return "play.png";
    if (section == "CW_PREVIEWVIDEO_BTN_STOP" && key == "IMAGE")
        return "missing.png";
    return {};
}

} // namespace

TEST(SuiteSettings, DisplayModelFallsBackOnlyWhenMissing)
{
    TempRegistry tmp;
    SetSuiteValue("INIDIR", "/suite/ini");
    SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-07");
    // Absent display model: the default model names the INI file, upper-cased.
    EXPECT_EQ(GetDisplayModelName(), "tx-07");
    EXPECT_EQ(GetModelIniPath(), "/suite/ini/TX-07.ini");
    // Present but empty: no fallback.
    SetSuiteValue("ORVT_DISPLAY_MODELNAME", "");
    EXPECT_EQ(GetDisplayModelName(), "");
    EXPECT_EQ(GetModelIniPath(), "/suite/ini/.ini");
}

TEST(SuiteSettings, FoldersAndTrailingSeparator)
{
    TempRegistry tmp;
    EXPECT_EQ(GetImageFolder(), "/"); // missing: a lone separator

    SetSuiteValue("INIDIR", "/suite/ini/");
    const QString withSlash = GetStringIniPath() + GetSuiteIniPath();
    SetSuiteValue("INIDIR", "/suite/ini");
    EXPECT_EQ(GetStringIniPath() + GetSuiteIniPath(), withSlash);
    EXPECT_EQ(GetSuiteIniPath(), "/suite/ini/orvt.ini");
    EXPECT_EQ(AddTrailingBackslash(""), "/");

    // A folder value needs its whole length in the 260-character buffer.
    SetSuiteValue("IMAGEDIR", "/" + QString(258, 'a'));
    EXPECT_EQ(GetImageFolder().size(), 260);
    SetSuiteValue("IMAGEDIR", "/" + QString(259, 'a'));
    EXPECT_EQ(GetImageFolder(), "/");
}

TEST(SuiteSettings, ImportFolderNamedPerSecond)
{
    TempRegistry tmp;
    QTemporaryDir dir;
    SetSuiteValue("FOLDER", dir.path());
    const QDateTime t(QDate(2026, 3, 4), QTime(5, 6, 7));
    EXPECT_EQ(ImportFolderName(dir.path(), t), dir.path() + "/Temp/20260304050607");
    const QString a = MakeImportFolder();
    const QString b = MakeImportFolder();
    EXPECT_TRUE(QDir(a).exists());
    // Within one second the same folder is used again (or the next second's).
    EXPECT_TRUE(a == b || QFileInfo(b).fileName().toLongLong() == QFileInfo(a).fileName().toLongLong() + 1);
}

TEST(Resources, ModelStringsUseTheLanguageSectionAndLineBreaks)
{
    TempRegistry tmp;
    QTemporaryDir dir;
    SetSuiteValue("INIDIR", dir.path());
    SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-35");
    ASSERT_TRUE(WriteFile(dir.filePath("TX-35.ini"),
        "[STRING_COMMON]\r\nONLY_PLAIN=plain\r\n"
        "[STRING_COMMON_EN]\r\nCANNOT_BE_SUPPORT_FORMAT=Not for\\n{MODEL_NAME}\r\n"));
    SetSuiteValue("ORVT_LANG", "EN");
    EXPECT_EQ(GetModelString("STRING_COMMON", "CANNOT_BE_SUPPORT_FORMAT", "dflt"), "Not for\n{MODEL_NAME}");
    EXPECT_EQ(GetModelString("STRING_COMMON", "ONLY_PLAIN", "dflt"), "dflt");
    SetSuiteValue("ORVT_LANG", "KR");
    EXPECT_EQ(GetModelString("STRING_COMMON", "CANNOT_BE_SUPPORT_FORMAT", "dflt"), "dflt");
}

TEST(Resources, ImagePathsFollowTheImageFolder)
{
    TempRegistry tmp;
    QTemporaryDir dir;
    SetSuiteValue("IMAGEDIR", dir.path());

    ResourceLookup lookup(nullptr, imageTable);
    EXPECT_EQ(lookup.GetResourceImagePath("NONE", "IMAGE"), "");
    EXPECT_EQ(lookup.GetResourceImagePath("CW_PREVIEWVIDEO_BTN_PLAY", "IMAGE"), dir.path() + "/play.png");
}

TEST(Resources, IniFileAndLayoutNumbers)
{
    QTemporaryDir dir;
    IniFile none;
    EXPECT_EQ(none.GetString("DESKTOP PATH", "CAMCORDER0"), "");
    IniFile ini(dir.filePath("orvt.ini"));
    EXPECT_TRUE(ini.WriteString("DESKTOP PATH", "BIG", QString(3000, 'z')));
    EXPECT_EQ(ini.GetString("DESKTOP PATH", "BIG").size(), 2047);

    ResourceLookup lookup(
        [](QString, QString key) -> QString { return key == "X" ? " 42px"
                                                  : key == "N"  ? "-7"
                                                                : ""; }, nullptr);
    EXPECT_EQ(lookup.GetResourceInt("S", "X"), 42);
    EXPECT_EQ(lookup.GetResourceInt("S", "N"), -7);
    EXPECT_EQ(lookup.GetResourceInt("S", "EMPTY", 5), 5);
}

TEST(MediaClassify, ContainmentAndSuffixListsDiffer)
{
    for (const char* p : { "movie.Avi", "MOVIE.AVI", "movie.avi", "clip.mpeg", "a/b.skm", "x.3G2" })
        EXPECT_EQ(EditableMediaKind(p), MediaKind::Video) << p;
    EXPECT_EQ(EditableMediaKind("clip.mpe"), MediaKind::Unsupported);
    EXPECT_EQ(EditableMediaKind("song.MP3"), MediaKind::Audio);
    EXPECT_EQ(EditableMediaKind("voice.amr"), MediaKind::Unsupported);
    EXPECT_EQ(EditableMediaKind("photo.jpg"), MediaKind::Unsupported);
    EXPECT_EQ(EditableMediaKind("noextension"), MediaKind::Unsupported);

    EXPECT_EQ(BrowserMediaKind("voice.amr"), MediaKind::Audio);
    EXPECT_EQ(BrowserMediaKind("photo.jpg"), MediaKind::Picture);
    // The browser's video list is tested first and "SKM" has no dot.
    EXPECT_EQ(BrowserMediaKind("/home/SKM_BACKUP/song.mp3"), MediaKind::Video);
    EXPECT_TRUE(IsPictureFile("/clips.gif/movie.avi"));
    EXPECT_FALSE(IsAudioFile("noextension"));

    EXPECT_TRUE(IsPhoneFormatFile("a.3GP"));
    EXPECT_TRUE(IsPhoneFormatFile("a.Skm"));
    EXPECT_FALSE(IsPhoneFormatFile("a.avi"));
    EXPECT_FALSE(IsPhoneFormatFile("3gp"));
}
