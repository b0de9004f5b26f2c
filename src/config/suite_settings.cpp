#include "config/suite_settings.h"

#include "config/registry.h"

#include <QDir>
#include <QFileInfo>

QString AddTrailingBackslash(const QString& path)
{
    if (path.endsWith('/'))
        return path;
    return path + '/';
}

std::optional<QString> ReadSuiteString(const QString& name, unsigned capacityChars)
{
    CRegistry reg;
    if (!reg.OpenKey(kSuiteKey))
        return std::nullopt;
    QString text;
    const bool ok = reg.ReadString(name, text, capacityChars);
    reg.CloseKey();
    if (!ok)
        return std::nullopt;
    return text;
}

namespace {
QString folderValue(const char* name)
{
    return ReadSuiteString(name, kFolderValueChars).value_or(QString());
}
QString textValue(const char* name)
{
    return ReadSuiteString(name, kTextValueChars).value_or(QString());
}
} // namespace

QString GetImageFolder()
{
    return AddTrailingBackslash(folderValue("IMAGEDIR"));
}

QString GetStringIniPath()
{
    return AddTrailingBackslash(folderValue("INIDIR")) + "string.ini";
}

QString GetSuiteIniPath()
{
    return AddTrailingBackslash(folderValue("INIDIR")) + "orvt.ini";
}

QString GetModelIniPath()
{
    return AddTrailingBackslash(folderValue("INIDIR")) + GetDisplayModelName().toUpper() + ".ini";
}

QString GetCurrentPath()
{
    return folderValue("CURRENT_PATH");
}

QString GetAppTitle()
{
    const QString title = textValue("APP_TITLE");
    return title.isEmpty() ? QString::fromLatin1(kDefaultAppTitle) : title;
}

QString GetDefaultModelName()
{
    return textValue("ORVT_DEFAULT_MODELNAME");
}

QString GetDisplayModelName()
{
    if (auto name = ReadSuiteString("ORVT_DISPLAY_MODELNAME", kTextValueChars))
        return *name;
    return GetDefaultModelName();
}

QString GetLanguage()
{
    return textValue("ORVT_LANG");
}

QString GetSuiteFolder()
{
    return folderValue("FOLDER");
}

bool SetEditingFlag(bool editing)
{
    CRegistry reg;
    if (!reg.OpenKey(kSuiteKey))
        return false;
    return reg.WriteString("CW_EDITTING", editing ? "YES" : "NO");
}

QString ImportFolderName(const QString& suiteFolder, const QDateTime& when)
{
    return suiteFolder + "/Temp/" + when.toString("yyyyMMddHHmmss");
}

QString MakeImportFolder()
{
    const QString folder = ImportFolderName(GetSuiteFolder(), QDateTime::currentDateTime());
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    return folder;
}

QString BundledSuiteFolder(const QString& programDir)
{
    const QDir dir(programDir);
    for (const char* relative : { "../share/orvanta/suite", "../suite" }) {
        const QString candidate = QDir::cleanPath(dir.filePath(relative));
        if (QFileInfo::exists(candidate + "/tables/text_EN.ini"))
            return candidate;
    }
    return QString();
}
