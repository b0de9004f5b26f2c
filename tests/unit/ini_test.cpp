// test-links: cw_platform
#include "platform/ini_file.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

class Ini : public ::testing::Test {
protected:
    QString file(const QByteArray& bytes)
    {
        const QString path = dir_.filePath(QString("f%1.ini").arg(n_++));
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    QString read(const QString& path, const QString& s, const QString& k, unsigned buffer = 256)
    {
        QString out;
        ini::GetPrivateProfileString(s, k, "DEF", out, buffer, path);
        return out;
    }
    QTemporaryDir dir_;
    int n_ = 0;
};

QByteArray utf16le(const QString& s)
{
    QByteArray b("\xFF\xFE", 2);
    for (QChar c : s) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

} // namespace

TEST_F(Ini, PrivateProfileLookupRules)
{
    const QString p = file("; comment\r\n[Main]\r\n  Key = spaced value  \r\nkey=second\r\nquoted=\"a b\"\r\n"
                           "no equals here\r\nempty=\r\n[main]\r\nother=from duplicate section\r\n[B]\r\nk=v\r\n");
    // Names case-insensitive, values trimmed, the first key and the first
    // section of a name win; no file, an empty one or garbage: the default.
    EXPECT_EQ((QStringList { read(p, "MAIN", "KEY"), read(p, "Main", "quoted"), read(p, "Main", "empty"),
                  read(p, "Main", "no equals here"), read(p, "Main", "other"), read(p, "B", "k"),
                  read(p, "Missing", "k"), read(dir_.filePath("nope.ini"), "B", "k"), read(file(""), "B", "k"),
                  read(file(QByteArray("\0\0\xff garbage", 11)), "B", "k") }),
        (QStringList { "spaced value", "a b", "", "DEF", "DEF", "v", "DEF", "DEF", "DEF", "DEF" }));
}

TEST_F(Ini, ValuesAreCutToTheBuffer)
{
    const QString p = file("[S]\nk=" + QByteArray(10000, 'x') + "\n");
    QString out;
    EXPECT_EQ(ini::GetPrivateProfileString("S", "k", "", out, 8, p), 7u);
    EXPECT_EQ(out, "xxxxxxx");
    EXPECT_EQ(ini::GetPrivateProfileString("S", "missing", "defaultvalue", out, 4, p), 3u);
    EXPECT_EQ(out, "def");
    EXPECT_EQ(ini::GetPrivateProfileString("S", "k", "", out, 0, p), 0u);
}

TEST_F(Ini, EncodingsAndLineEnds)
{
    const QString korean = QString::fromUtf8("작업진행");
    EXPECT_EQ(read(file("\xEF\xBB\xBF[S]\nk=" + korean.toUtf8() + "\n"), "S", "k"), korean);
    EXPECT_EQ(read(file("[S]\r\nk=" + korean.toUtf8() + "\r\n"), "S", "k"), korean);
    EXPECT_EQ(read(file(utf16le("[S]\r\nk=" + korean + "\r\n")), "S", "k"), korean);
}

TEST_F(Ini, WriterKeepsTheRestOfTheFileAndItsEncoding)
{
    const QString p = file(utf16le("; keep me\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"));
    EXPECT_EQ((std::vector { ini::WritePrivateProfileString("a", "X", QString("changed"), p),
                  ini::WritePrivateProfileString("A", "new", QString("n"), p),
                  ini::WritePrivateProfileString("C", "z", QString("3"), p),
                  ini::WritePrivateProfileString("B", "y", std::nullopt, p) }),
        std::vector<bool>(4, true));
    EXPECT_TRUE(ReadFile(p).startsWith("\xFF\xFE"));
    EXPECT_EQ((QStringList { read(p, "A", "x"), read(p, "A", "new"), read(p, "C", "z"), read(p, "B", "y") }),
        (QStringList { "changed", "n", "3", "DEF" }));
    EXPECT_EQ(ini::SectionNames(p), (QStringList { "A", "B", "C" }));
    EXPECT_EQ(ini::KeyNames(p, "A"), (QStringList { "x", "new" }));

    const QString fresh = dir_.filePath("sub-missing/none.ini");
    EXPECT_FALSE(ini::WritePrivateProfileString("S", "k", QString("v"), fresh));
    const QString created = dir_.filePath("created.ini");
    EXPECT_TRUE(ini::WritePrivateProfileString("S", "k", QString("v"), created));
    EXPECT_EQ(read(created, "S", "k"), "v");
}
