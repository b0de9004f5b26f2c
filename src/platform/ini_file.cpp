#include "platform/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace ini {
namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct Document {
    QStringList lines;
    Encoding encoding = Encoding::Utf8;
    QString eol = QStringLiteral("\n");
};

// Largest INI file read; a larger one is treated as unreadable.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

std::optional<Document> load(const QString& path)
{
    QFile f(path);
    if (path.isEmpty() || f.size() > kMaxFileBytes || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    Document doc;
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        doc.encoding = Encoding::Utf16Le;
        auto decode = QStringDecoder(QStringDecoder::Utf16LE);
        text = decode(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.encoding = Encoding::Utf8Bom;
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        text = QString::fromUtf8(bytes);
    }
    if (text.contains(QLatin1String("\r\n")))
        doc.eol = QStringLiteral("\r\n");
    doc.lines = text.split('\n');
    for (QString& l : doc.lines)
        if (l.endsWith('\r'))
            l.chop(1);
    if (!doc.lines.isEmpty() && doc.lines.last().isEmpty())
        doc.lines.removeLast();
    return doc;
}

bool save(const QString& path, const Document& doc)
{
    QString text = doc.lines.join(doc.eol);
    if (!doc.lines.isEmpty())
        text += doc.eol;
    QByteArray bytes;
    switch (doc.encoding) {
    case Encoding::Utf16Le: {
        bytes = QByteArray("\xFF\xFE", 2);
        for (QChar c : text) {
            bytes.append(static_cast<char>(c.unicode() & 0xFF));
            bytes.append(static_cast<char>(c.unicode() >> 8));
        }
        break;
    }
    case Encoding::Utf8Bom:
        bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        break;
    case Encoding::Utf8:
        bytes = text.toUtf8();
        break;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size())
        return false;
    return f.commit();
}

// "[name]" -> name; empty optional for other lines.
std::optional<QString> sectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const int close = t.indexOf(']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// "key = value" -> (key, value); empty optional for lines without "=" and comments.
std::optional<std::pair<QString, QString>> entryOf(const QString& line)
{
    const QString t = line.trimmed();
    if (t.startsWith(';'))
        return std::nullopt;
    const int eq = t.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return std::make_pair(t.left(eq).trimmed(), t.mid(eq + 1).trimmed());
}

bool same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index range [first, end) of the first section named section; first is the header line.
std::optional<std::pair<int, int>> findSection(const Document& doc, const QString& section)
{
    for (int i = 0; i < doc.lines.size(); ++i) {
        const auto s = sectionOf(doc.lines[i]);
        if (!s || !same(*s, section))
            continue;
        int end = i + 1;
        while (end < doc.lines.size() && !sectionOf(doc.lines[end]))
            ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

QString unquote(const QString& v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

} // namespace

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key)
{
    const auto doc = load(path);
    if (!doc)
        return std::nullopt;
    const auto range = findSection(*doc, section);
    if (!range)
        return std::nullopt;
    for (int i = range->first + 1; i < range->second; ++i) {
        const auto e = entryOf(doc->lines[i]);
        if (e && same(e->first, key))
            return unquote(e->second);
    }
    return std::nullopt;
}

unsigned GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue, QString& out,
    unsigned bufferChars, const QString& path)
{
    if (bufferChars == 0) {
        out.clear();
        return 0;
    }
    QString value = ReadValue(path, section, key).value_or(defaultValue);
    if (static_cast<unsigned>(value.size()) > bufferChars - 1)
        value.truncate(static_cast<qsizetype>(bufferChars - 1));
    out = value;
    return static_cast<unsigned>(value.size());
}

bool WritePrivateProfileString(
    const QString& section, const QString& key, const std::optional<QString>& value, const QString& path)
{
    if (path.isEmpty() || section.isEmpty() || key.isEmpty())
        return false;
    Document doc = load(path).value_or(Document {});
    const auto range = findSection(doc, section);
    if (!range) {
        if (!value)
            return true;
        doc.lines << QStringLiteral("[%1]").arg(section) << QStringLiteral("%1=%2").arg(key, *value);
        return save(path, doc);
    }
    int insertAt = range->second;
    // Keep blank lines that separate sections after the new key.
    while (insertAt - 1 > range->first && doc.lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    for (int i = range->first + 1; i < range->second; ++i) {
        const auto e = entryOf(doc.lines[i]);
        if (!e || !same(e->first, key))
            continue;
        if (value)
            doc.lines[i] = QStringLiteral("%1=%2").arg(e->first, *value);
        else
            doc.lines.removeAt(i);
        return save(path, doc);
    }
    if (!value)
        return true;
    doc.lines.insert(insertAt, QStringLiteral("%1=%2").arg(key, *value));
    return save(path, doc);
}

QStringList SectionNames(const QString& path)
{
    QStringList names;
    if (const auto doc = load(path))
        for (const QString& l : doc->lines)
            if (const auto s = sectionOf(l))
                names << *s;
    return names;
}

QStringList KeyNames(const QString& path, const QString& section)
{
    QStringList names;
    const auto doc = load(path);
    if (!doc)
        return names;
    if (const auto range = findSection(*doc, section))
        for (int i = range->first + 1; i < range->second; ++i)
            if (const auto e = entryOf(doc->lines[i]))
                names << e->first;
    return names;
}

} // namespace ini
