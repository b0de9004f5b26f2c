// test-links: cw_platform
#include "platform/ini_file.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    EXPECT_EQ(read(p, "MAIN", "KEY"), "spaced value"); // case-insensitive, trimmed, first wins
    EXPECT_EQ(read(p, "Main", "quoted"), "a b");
    EXPECT_EQ(read(p, "Main", "empty"), "");
    EXPECT_EQ(read(p, "Main", "no equals here"), "DEF");
    EXPECT_EQ(read(p, "Main", "other"), "DEF"); // only the first section of a name is read
    EXPECT_EQ(read(p, "B", "k"), "v");
    EXPECT_EQ(read(p, "Missing", "k"), "DEF");
    EXPECT_EQ(read(dir_.filePath("nope.ini"), "B", "k"), "DEF");
    EXPECT_EQ(read(file(""), "B", "k"), "DEF");
    EXPECT_EQ(read(file(QByteArray("\0\0\xff garbage", 11)), "B", "k"), "DEF");
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
    EXPECT_TRUE(ini::WritePrivateProfileString("a", "X", QString("changed"), p));
    EXPECT_TRUE(ini::WritePrivateProfileString("A", "new", QString("n"), p));
    EXPECT_TRUE(ini::WritePrivateProfileString("C", "z", QString("3"), p));
    EXPECT_TRUE(ini::WritePrivateProfileString("B", "y", std::nullopt, p));
    EXPECT_TRUE(ReadFile(p).startsWith("\xFF\xFE"));
    EXPECT_EQ(read(p, "A", "x"), "changed");
    EXPECT_EQ(read(p, "A", "new"), "n");
    EXPECT_EQ(read(p, "C", "z"), "3");
    EXPECT_EQ(read(p, "B", "y"), "DEF");
    EXPECT_EQ(ini::SectionNames(p), (QStringList { "A", "B", "C" }));
    EXPECT_EQ(ini::KeyNames(p, "A"), (QStringList { "x", "new" }));

    const QString fresh = dir_.filePath("sub-missing/none.ini");
    EXPECT_FALSE(ini::WritePrivateProfileString("S", "k", QString("v"), fresh));
    const QString created = dir_.filePath("created.ini");
    EXPECT_TRUE(ini::WritePrivateProfileString("S", "k", QString("v"), created));
    EXPECT_EQ(read(created, "S", "k"), "v");
}
