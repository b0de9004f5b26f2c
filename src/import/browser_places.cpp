#include "import/browser_places.h"

#include "config/registry.h"
#include "config/suite_settings.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {
constexpr const char* kBrowserPathValue = "Mini Browser Path";
const QString kBookmarkKey = QString::fromLatin1(kSuiteKey) + "\\Bookmark";
} // namespace

QString BrowserStartFolder()
{
    CRegistry key;
    QString folder;
    if (!key.OpenKey(kSuiteKey) || !key.ReadString(kBrowserPathValue, folder, kFolderValueChars))
        folder.clear();
    const QFileInfo info(folder);
    const bool usable = !folder.isEmpty() && QFileInfo(folder).isAbsolute()
        && (info.isDir() || (!info.exists() && QDir().mkpath(folder)));
    if (!usable)
        folder = QDir::homePath();
    SetBrowserFolder(folder);
    return folder;
}

void SetBrowserFolder(const QString& folder)
{
    CRegistry key;
    QString stored;
    if (!key.OpenKey(kSuiteKey))
        return;
    // Written only when it changes: every write is a transaction on disk.
    if (!key.ReadString(kBrowserPathValue, stored, kFolderValueChars) || stored != folder)
        key.WriteString(kBrowserPathValue, folder);
}

QStringList ReadBookmarks()
{
    CRegistry key;
    QStringList folders;
    if (!key.OpenKey(kBookmarkKey))
        return folders;
    QString name;
    std::vector<char16_t> data(kFolderValueChars * 4);
    while (key.EnumValue(name, data.data(), std::uint32_t(data.size() * sizeof(char16_t)))) {
        QString folder;
        if (key.ReadString(name, folder, std::uint32_t(data.size())) && !folder.isEmpty())
            folders << folder;
    }
    return folders;
}

bool WriteBookmarks(const QStringList& folders)
{
    CRegistry suite;
    if (!suite.OpenKey(kSuiteKey))
        return false;
    suite.DeleteSubKey("Bookmark");
    CRegistry key;
    if (!key.OpenKey(kBookmarkKey))
        return false;
    bool ok = true;
    for (int i = 0; i < folders.size(); ++i)
        ok = key.WriteString(QString("%1").arg(i + 1, 3, 10, QChar(u'0')), folders[i]) && ok;
    return ok;
}
