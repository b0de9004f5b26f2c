#include "comm_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <mutex>

#define CW_EXPORT __attribute__((visibility("default")))

namespace {

std::mutex& tableMutex()
{
    static std::mutex m;
    return m;
}

QHash<qulonglong, QString>& phoneFolders()
{
    static QHash<qulonglong, QString> folders;
    return folders;
}

} // namespace

extern "C" CW_EXPORT void CwCommConnect(qulonglong handle, QString phoneFolder)
{
    std::lock_guard lock(tableMutex());
    if (phoneFolder.isEmpty())
        phoneFolders().remove(handle);
    else
        phoneFolders().insert(handle, phoneFolder);
}

extern "C" CW_EXPORT int PCEditMovieToVexlo(qulonglong handle, HostTextCallback, HostImageCallback, QString aviPath)
{
    QString folder;
    {
        std::lock_guard lock(tableMutex());
        if (handle == 0 || !phoneFolders().contains(handle))
            return 0;
        folder = phoneFolders().value(handle);
    }
    const QFileInfo source(aviPath);
    if (!source.isFile() || !QDir().mkpath(folder))
        return 0;
    const QString target = QDir(folder).filePath(source.fileName());
    if (QFileInfo(target).canonicalFilePath() == source.canonicalFilePath())
        return 1;
    QFile::remove(target);
    return QFile::copy(source.absoluteFilePath(), target) ? 1 : 0;
}
