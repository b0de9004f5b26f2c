// Where cw-save finds the suite data it was installed or built with, and the
// private folder it works in on top of it.
#pragma once

#include <QString>
#include <QTemporaryDir>

// The suite folder bundled with the program in programDir:
// programDir/../share/orvanta/suite when installed, programDir/../suite in a
// build tree. Empty when neither holds the string table.
QString BundledSuiteFolder(const QString& programDir);

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
