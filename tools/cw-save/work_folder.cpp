#include "work_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
