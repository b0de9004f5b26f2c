#include "config/resources.h"

#include "config/suite_settings.h"
#include "platform/ini_file.h"

#include <algorithm>
#include <cstdint>

QString ResourceLookup::GetResourceText(const QString& section, const QString& key) const
{
    return text_ ? text_(section, key) : QString();
}

QString ResourceLookup::GetResourceImagePath(const QString& section, const QString& key) const
{
    const QString name = image_ ? image_(section, key) : QString();
    if (name.isEmpty())
        return QString();
    return GetImageFolder() + name;
}

int ResourceLookup::GetResourceInt(const QString& section, const QString& key, int fallback) const
{
    const QString text = GetResourceText(section, key).trimmed();
    if (text.isEmpty())
        return fallback;
    // Decimal conversion that stops at the first non-digit, as atoi does.
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i].isDigit(); ++i)
        v = std::min<long long>(v * 10 + text[i].digitValue(), 1LL << 31);
    return static_cast<int>(negative ? -v : std::min<long long>(v, INT32_MAX));
}

QString GetModelString(const QString& section, const QString& key, const QString& defaultValue)
{
    const QString path = GetModelIniPath();
    const QString fullSection = QStringLiteral("%1_%2").arg(section, GetLanguage());
    QString value;
    ini::GetPrivateProfileString(fullSection, key, defaultValue, value, 8192, path);
    value.replace(QLatin1String("\\n"), QLatin1String("\n"));
    return value;
}

IniFile::IniFile(const QString& path)
{
    SetPath(path);
}

void IniFile::SetPath(const QString& path)
{
    path_ = path.left(259);
}

QString IniFile::GetString(const QString& section, const QString& key)
{
    value_.clear();
    if (!path_ || path_->isEmpty())
        return QString();
    ini::GetPrivateProfileString(section, key, QString(), value_, 2048, *path_);
    return value_;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    return path_ && ini::WritePrivateProfileString(section, key, value, *path_);
}
