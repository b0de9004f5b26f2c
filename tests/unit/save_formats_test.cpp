// test-links: cw_export cw_config cw_platform
#include "config/suite_settings.h"
#include "export/save_formats.h"
#include "test_util.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString modelIni(QTemporaryDir& dir, const QByteArray& format)
{
    const QString path = dir.filePath("MODEL.ini");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    if (!format.isNull())
        f.write("[CW_SUPPORT_INFO]\nVIDEO_SAVE_FORMAT=" + format + "\n");
    return path;
}

} // namespace

TEST(SaveFormats, FileTypeByModelSubstringInListOrder)
{
    QTemporaryDir dir;
    const QString none = dir.filePath("none.ini");
    EXPECT_EQ(SaveFileTypeForModel("tx-07", none).fileName, "*.3gp");
    EXPECT_EQ(SaveFileTypeForModel("TX-02", none).filter, "Tessaly Movie file type (*.3g2)|*.3g2||");
    EXPECT_EQ(SaveFileTypeForModel("NEW TX-17 PLUS", none).fileName, "*.3gp");
    EXPECT_EQ(SaveFileTypeForModel("TX-29", none).fileName, "*.k3g");
    EXPECT_EQ(SaveFileTypeForModel("tx-35", none).filter, "Movie file type (*.skm)|*.skm||");
    EXPECT_EQ(SaveFileTypeForModel("TX-01", none).extension(), "skm");
    // Other models: the model INI file decides, anything unknown or missing is 3g2.
    EXPECT_EQ(SaveFileTypeForModel("ZX-9", modelIni(dir, "MP4")).filter, "Tessaly Movie file type (*.mp4)|*.mp4||");
    EXPECT_EQ(SaveFileTypeForModel("ZX-9", modelIni(dir, "k3g")).fileName, "*.k3g");
    EXPECT_EQ(SaveFileTypeForModel("ZX-9", modelIni(dir, "avi")).fileName, "*.3g2");
    EXPECT_EQ(SaveFileTypeForModel("ZX-9", modelIni(dir, QByteArray())).fileName, "*.3g2");
    EXPECT_EQ(SaveFileTypeForModel("", none).fileName, "*.3g2");
}

TEST(SaveFormats, EncoderNumbersIgnoreTheFileType)
{
    EXPECT_EQ(EncoderParamsForModel("tx-07"), (EncoderParams { 1, 2, 2, 1 }));
    EXPECT_EQ(EncoderParamsForModel("TX-17"), (EncoderParams { 1, 2, 2, 1 })); // list 2 wins over list 3
    EXPECT_EQ(EncoderParamsForModel("ZX-9"), (EncoderParams { 1, 2, 2, 0 }));
}

TEST(SaveFormats, InitialFolderCommaRule)
{
    EXPECT_EQ(InitialFolderFromSetting("/home/me/Movies"), "/home/me/Movies");
    EXPECT_EQ(InitialFolderFromSetting("2,/home/me/Movies"), "/home/me/Movies");
    EXPECT_EQ(InitialFolderFromSetting(",/home/me/Movies"), ",/home/me/Movies");

    TempRegistry reg;
    QTemporaryDir dir;
    SetSuiteValue("INIDIR", dir.path());
    ASSERT_TRUE(WriteFile(dir.filePath("orvt.ini"), "[DESKTOP PATH]\r\nCAMCORDER0=2,/data/Camcorder\r\n"));
    EXPECT_EQ(InitialSaveFolder(), "/data/Camcorder");
}
