#include "resource_tables.h"

#include <QFile>
#include <QStringDecoder>

namespace {

QString decodeValue(QString v)
{
    v = v.trimmed();
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.mid(1, v.size() - 2);
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            if (v[i + 1] == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (v[i + 1] == '\\') {
                out += '\\';
                ++i;
                continue;
            }
        }
        out += v[i];
    }
    return out;
}

QString decodeFile(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        auto decode = QStringDecoder(QStringDecoder::Utf16LE);
        return decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

const HostResources* g_resources = nullptr;

} // namespace

bool ResourceTable::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    parse(decodeFile(file.readAll()));
    return true;
}

void ResourceTable::parse(const QString& text)
{
    QString section;
    const QStringList lines = text.split('\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype end = line.indexOf(']');
            section = line.mid(1, end < 0 ? -1 : end - 1).trimmed();
            const QString upper = section.toUpper();
            if (!sectionNames_.contains(upper))
                sectionNames_.insert(upper, section);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || section.isEmpty())
            continue;
        const QString key = line.left(eq).trimmed();
        auto& entries = values_[section.toUpper()];
        const QString upperKey = key.toUpper();
        if (entries.contains(upperKey))
            continue;
        entries.insert(upperKey, decodeValue(line.mid(eq + 1)));
        keyNames_[section.toUpper()].append(key);
    }
}

QString ResourceTable::value(const QString& section, const QString& key) const
{
    const auto s = values_.constFind(section.toUpper());
    if (s == values_.cend())
        return QString();
    return s->value(key.toUpper());
}

bool ResourceTable::contains(const QString& section, const QString& key) const
{
    const auto s = values_.constFind(section.toUpper());
    return s != values_.cend() && s->contains(key.toUpper());
}

QStringList ResourceTable::sections() const
{
    return sectionNames_.values();
}

QStringList ResourceTable::keys(const QString& section) const
{
    return keyNames_.value(section.toUpper());
}

int ResourceTable::size() const
{
    int n = 0;
    for (const auto& s : values_)
        n += int(s.size());
    return n;
}

bool HostResources::load(const QString& folder, const QString& language)
{
    const QString lang = language.trimmed().toUpper();
    korean_ = lang == "KR" || lang == "KOR";
    bool ok = english_.load(folder + "/text_EN.ini");
    if (!ok)
        error_ = english_.error();
    if (!koreanTable_.load(folder + "/text_KR.ini") && ok) {
        ok = false;
        error_ = koreanTable_.error();
    }
    if (!images_.load(folder + "/image.ini") && ok) {
        ok = false;
        error_ = images_.error();
    }
    return ok;
}

QString HostResources::text(const QString& section, const QString& key) const
{
    if (korean_ && koreanTable_.contains(section, key))
        return koreanTable_.value(section, key);
    return english_.value(section, key);
}

QString HostResources::image(const QString& section, const QString& key) const
{
    return images_.value(section, key);
}

void SetHostResources(const HostResources* resources)
{
    g_resources = resources;
}

QString HostTextLookup(QString section, QString key)
{
    return g_resources ? g_resources->text(section, key) : QString();
}

QString HostImageLookup(QString section, QString key)
{
    return g_resources ? g_resources->image(section, key) : QString();
}
