// The private suite folder cw-save works in over the suite data it was
// installed or built with.
#pragma once

#include <QString>
#include <QTemporaryDir>

// A suite folder of its own for one run over a shared, possibly read-only one:
// a new folder under the system's temporary folder with links to the encoder
// libraries, tables and INI files of the shared folder; the save pipeline
// makes its Temp folder inside. Removed with everything in it when destroyed,
// so the shared folder is never written.
class PrivateSuiteFolder {
public:
    explicit PrivateSuiteFolder(const QString& sharedFolder);
    // Empty when the folder or one of its links could not be made.
    QString path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
};
