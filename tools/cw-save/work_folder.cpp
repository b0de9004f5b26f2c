#include "work_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

PrivateSuiteFolder::PrivateSuiteFolder(const QString& sharedFolder)
    : dir_(QDir::tempPath() + "/cw-save-XXXXXX")
{
    if (!dir_.isValid())
        return;
    for (const char* name : { "libOTTEnc.so", "libOTTAVIEncoder.so", "tables", "ini" }) {
        const QString target = sharedFolder + '/' + name;
        if (QFileInfo::exists(target) && !QFile::link(target, dir_.filePath(name)))
            return;
    }
    path_ = dir_.path();
}
