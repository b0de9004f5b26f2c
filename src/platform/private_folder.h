// Private work folders: each editor instance and each headless save works in
// a folder of its own under the work folder, so two runs never share a file
// and clean-up can never reach a file the run did not make.
//
// A private folder is "<base>/cw-XXXXXX" made with mkdtemp (mode 0700) and
// holds a marker file naming the process that made it. Removal deletes only
// folders that carry a marker, unlinks symbolic links instead of following
// them, and never changes a permission: a file the user protected stays.
#pragma once

#include <QString>

class CPrivateFolder {
public:
    // Makes a private folder under base (base itself is made, mode 0700, when
    // missing). path() is empty when that fails.
    explicit CPrivateFolder(const QString& base);
    // Removes the folder and what the run left in it.
    ~CPrivateFolder();
    CPrivateFolder(const CPrivateFolder&) = delete;
    CPrivateFolder& operator=(const CPrivateFolder&) = delete;

    const QString& path() const { return path_; }

    // Removes the private folders under base whose maker is no longer
    // running (their marker names a process that is gone). Folders without
    // a marker, other people's folders and everything else are left alone.
    // Returns how many were removed.
    static int RemoveAbandoned(const QString& base);

    // The marker's file name inside a private folder.
    static constexpr const char* kMarkerName = ".cw-owner";

private:
    QString path_;
};

// Where the work folders of a suite go: "<suiteFolder>/Temp" when the suite
// folder is an absolute path to an existing folder owned by the user or
// root; otherwise the user's own data folder ("$XDG_DATA_HOME/orvanta/Temp")
// and *refusal says why the suite folder was not used.
QString WorkFolderBase(const QString& suiteFolder, QString* refusal = nullptr);
