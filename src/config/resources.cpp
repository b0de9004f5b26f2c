#include "config/resources.h"

#include "config/suite_settings.h"
#include "platform/dialog_service.h"
#include "platform/ini_file.h"

#include <QFileInfo>
#include <chrono>
#include <thread>

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

bool LoadSkinBitmap(SkinBitmap& holder, const QString& path, bool warn)
{
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path)) {
        if (warn)
            Dialogs().messageBox(nullptr, QStringLiteral("%1 %2").arg(path, QStringLiteral("File not found!")),
                QStringLiteral("Warning"), MB_OK);
        return false;
    }
    holder.clear();
    QImage image(path);
    holder.attach(image);
    // The loader pauses briefly after each image, as the skin code expects.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return !image.isNull();
}

QFont MakeSkinFont(const ResourceLookup& lookup, const QString& section, const QString& key, SkinFontRole role)
{
    QFont font(lookup.GetResourceText(section, key));
    switch (role) {
    case SkinFontRole::Pane:
        font.setPixelSize(11);
        font.setWeight(QFont::Bold);
        break;
    case SkinFontRole::ProgressWindow:
        font.setPixelSize(12);
        font.setWeight(QFont::Normal);
        break;
    case SkinFontRole::MessageBox:
        font.setPixelSize(12);
        font.setWeight(QFont::Bold);
        break;
    case SkinFontRole::EditMenuBar:
        // A positive height is the cell height: the character height is a little less.
        font.setPixelSize(9);
        font.setWeight(QFont::Bold);
        break;
    }
    return font;
}
