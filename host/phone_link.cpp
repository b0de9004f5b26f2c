#include "phone_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

PhoneLink::PhoneLink(const QString& folder, bool connected, QObject* parent)
    : QObject(parent)
    , folder_(QDir::cleanPath(QDir(folder).absolutePath()))
    , connected_(connected)
{
    setObjectName("PhoneLink");
}

QString PhoneLink::targetPath(const QString& local, const QString& remote) const
{
    QString rel = remote;
    rel.replace('\\', '/');
    const bool toFolder = rel.isEmpty() || rel.endsWith('/');
    const QStringList parts = rel.split('/', Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (p == "..")
            return QString();
    }
    QString joined = parts.join('/');
    if (toFolder)
        joined = (joined.isEmpty() ? QString() : joined + '/') + QFileInfo(local).fileName();
    if (joined.isEmpty())
        return QString();
    return folder_ + '/' + joined;
}

int PhoneLink::SendFile(QString local, QString remote)
{
    if (!connected_)
        return 0;
    const QFileInfo source(local);
    if (!source.isFile())
        return 0;
    const QString target = targetPath(local, remote);
    if (target.isEmpty() || !QDir().mkpath(QFileInfo(target).absolutePath()))
        return 0;
    if (QFileInfo(target).canonicalFilePath() == source.canonicalFilePath())
        return 1;
    QFile::remove(target);
    if (!QFile::copy(source.absoluteFilePath(), target))
        return 0;
    emit fileSent(local, target);
    return 1;
}

int PhoneLink::RenameFile(QString from, QString to)
{
    if (!connected_)
        return 0;
    const QString source = targetPath(QString(), from);
    const QString target = targetPath(QString(), to);
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return 0;
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0 ? 1 : 0;
}
