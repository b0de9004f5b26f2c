// test-links: cw_config cw_platform
#include "config/registry.h"
#include "config/suite_settings.h"
#include "platform/registry_store.h"
#include "test_util.h"

#include <QCryptographicHash>
#include <QProcess>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const QString kRegTool = QStringLiteral(CW_BUILD_DIR "/bin/orvanta-reg");

QByteArray fileHash(const QString& path)
{
    return QCryptographicHash::hash(ReadFile(path), QCryptographicHash::Sha256);
}

// Runs the registry tool; its output without the line end.
ToolRun Reg(const QStringList& args)
{
    ToolRun r = RunTool(kRegTool, args);
    r.out = r.out.trimmed();
    return r;
}

} // namespace

TEST(Registry, ValuesRoundTripWithTypesAndCaseInsensitiveNames)
{
    TempRegistry tmp;
    CRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Orvanta3.0"));
    ASSERT_TRUE(reg.WriteString("FOLDER", "/opt/suite"));
    ASSERT_TRUE(reg.WriteDword("CW_MSGBOX_MSG1", 1));

    QString text;
    std::uint32_t v = 0;
    EXPECT_TRUE(reg.ReadString("folder", text, 260) && reg.ReadDword("cw_msgbox_msg1", v));
    EXPECT_EQ(std::tuple(text, v), std::tuple(QString("/opt/suite"), 1u));
    // A string is not a 4-byte value, and a missing value fails.
    EXPECT_FALSE(reg.ReadDword("FOLDER", v) || reg.ReadString("MISSING", text, 260));

    // Raw read: UTF-16 text with its terminating null, size = (length + 1) * 2.
    char16_t raw[11] = {};
    EXPECT_TRUE(reg.ReadValue("FOLDER", raw, sizeof raw + 2));
    EXPECT_EQ(QString::fromUtf16(raw), "/opt/suite");

    // The other hive does not see the value.
    CRegistryHCU user;
    ASSERT_TRUE(user.OpenKey("Orvanta3.0"));
    EXPECT_FALSE(user.ReadString("FOLDER", text, 260));
}

TEST(Registry, ValueLongerThanBufferIsAFailedRead)
{
    TempRegistry tmp;
    CRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Orvanta3.0"));
    reg.WriteString("APP_TITLE", QString(127, 'x'));
    QString text;
    EXPECT_TRUE(reg.ReadString("APP_TITLE", text, 128)); // 127 characters and the null fit
    reg.WriteString("APP_TITLE", QString(128, 'x'));
    EXPECT_FALSE(reg.ReadString("APP_TITLE", text, 128));
    // The settings getter then falls back to its default.
    EXPECT_EQ(GetAppTitle(), "Orvanta 3.0");
}

TEST(Registry, EnumerationInWriteOrderAndSubkeyDelete)
{
    TempRegistry tmp;
    CRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Orvanta3.0\\Bookmark"));
    for (const char* name : { "zeta", "alpha", "mid" })
        reg.WriteString(name, QString("/path/") + name);
    reg.WriteString("alpha", "/rewritten"); // rewriting keeps the place

    QStringList names, data;
    QString name;
    char16_t buf[64];
    while (reg.EnumValue(name, buf, sizeof buf)) {
        names << name;
        data << QString::fromUtf16(buf);
    }
    EXPECT_EQ(names, (QStringList { "zeta", "alpha", "mid" }));
    EXPECT_EQ(data[1], "/rewritten");

    CRegistry parent;
    ASSERT_TRUE(parent.OpenKey("Orvanta3.0"));
    QString sub;
    ASSERT_TRUE(parent.EnumSubKey(sub));
    EXPECT_EQ(sub, "Bookmark");
    EXPECT_FALSE(parent.EnumSubKey(sub));

    EXPECT_TRUE(parent.DeleteSubKey("Bookmark"));
    EXPECT_FALSE(RegistryStore::instance().keyExists(RegHive::LocalMachine, "SOFTWARE\\Orvanta3.0\\Bookmark"));
    // Recreated empty on the next open.
    CRegistry again;
    ASSERT_TRUE(again.OpenKey("Orvanta3.0\\Bookmark"));
    EXPECT_FALSE(again.EnumValue(name, buf, sizeof buf));
}

TEST(Registry, CorruptDatabaseGivesDefaultsAndIsNeverReplaced)
{
    TempRegistry tmp;
    const QString path = tmp.path();
    ASSERT_TRUE(WriteFile(path, QByteArray(8192, 'G')));
    const QByteArray before = fileHash(path);
    EXPECT_EQ(std::tuple(GetAppTitle(), GetModelIniPath()), std::tuple(QString("Orvanta 3.0"), QString("/.ini")));
    CRegistry reg;
    EXPECT_FALSE(SetEditingFlag(true) || reg.OpenKey("Orvanta3.0") || reg.WriteString("FOLDER", "x"));
    EXPECT_EQ(Reg({ "set", "HKLM\\SOFTWARE\\Orvanta3.0", "FOLDER", "x" }).exitCode, 1);
    EXPECT_EQ(fileHash(path), before);
}

TEST(Registry, ToolRoundTripAndExitCodes)
{
    TempRegistry tmp;
    const QString key = "HKLM\\SOFTWARE\\Orvanta3.0";
    EXPECT_EQ((std::vector { Reg({ "set", key, "ORVT_LANG", "KR" }).exitCode,
                  Reg({ "set", "--dword", key, "CW_MSGBOX_MSG1", "0x10" }).exitCode }),
        (std::vector { 0, 0 }));
    EXPECT_EQ(Reg({ "get", key, "ORVT_LANG" }).out + " " + Reg({ "get", key, "CW_MSGBOX_MSG1" }).out, "KR 16");
    // What the tool writes, the component reads, and the other way round.
    EXPECT_EQ(GetLanguage(), "KR");
    SetEditingFlag(true);
    EXPECT_EQ(Reg({ "get", key, "CW_EDITTING" }).out, "YES");

    const auto list = Reg({ "list", key });
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(list.out.contains("ORVT_LANG\tREG_SZ\tKR")) << list.out.constData();

    EXPECT_EQ((std::vector { Reg({ "get", key, "NOPE" }).exitCode, Reg({ "delete", key, "ORVT_LANG" }).exitCode,
                  Reg({ "get", key, "ORVT_LANG" }).exitCode, Reg({ "set", "--dword", key, "N", "banana" }).exitCode,
                  Reg({ "get", "HKXX\\SOFTWARE", "N" }).exitCode }),
        (std::vector { 1, 0, 1, 2, 2 }));
    EXPECT_EQ(Reg({ "frobnicate" }).exitCode, 2);
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing)
{
    TempRegistry tmp;
    const QString key = "HKLM\\SOFTWARE\\Orvanta3.0";
    // Two shells, each writing its own 40 values as fast as it can.
    QProcess a, b;
    const QString loop = "for i in $(seq 1 40); do \"$0\" set '%1' %2$i v$i || exit 1; done";
    a.start("/bin/sh", { "-c", loop.arg(key, "A"), kRegTool });
    b.start("/bin/sh", { "-c", loop.arg(key, "B"), kRegTool });
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    const auto names = RegistryStore::instance().valueNames(RegHive::LocalMachine, "SOFTWARE\\Orvanta3.0");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 80);
}
