#include "shell/work_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString WorkFolderPath(const QString& suiteFolder)
{
    return suiteFolder + QStringLiteral("/Temp");
}

namespace {

void EmptyAndRemove(const QString& folder)
{
    QFile::setPermissions(
        folder, QFile::permissions(folder) | QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir dir(folder);
    const QFileInfoList entries
        = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            EmptyAndRemove(entry.filePath());
        } else {
            // Give the file write permission first, as a read-only file would
            // otherwise survive on some file systems.
            QFile::setPermissions(entry.filePath(), entry.permissions() | QFileDevice::WriteOwner);
            QFile::remove(entry.filePath());
        }
    }
    dir.rmdir(folder);
}

} // namespace

bool ResetWorkFolder(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    if (info.isSymLink())
        QFile::remove(folder);
    else if (info.isDir())
        EmptyAndRemove(folder);
    else if (info.exists())
        QFile::remove(folder);
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return false;
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
