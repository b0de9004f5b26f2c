// Where the host's files live and the suite values it publishes in the
// registry.
//
// Two folders are involved:
//  - the data folder: the bundled, read-only suite data (string and image
//    tables, skin images, INI templates) and the encoder libraries; build/suite
//    in a build tree, <prefix>/share/orvanta/suite when installed;
//  - the user suite folder, $XDG_DATA_HOME/orvanta: the suite's installation
//    folder as the editor sees it ("FOLDER", "CURRENT_PATH": its Temp folder,
//    links to the encoder libraries and to the skin of the data folder, which
//    every start points at the running host's data), the INI files
//    ("INIDIR") and the simulated phone. The registry values therefore stay
//    valid when another build or installation of the host runs.
#pragma once

#include <QString>
#include <QStringList>

struct SuiteLayout {
    QString dataDir; // bundled data
    QString userDir; // $XDG_DATA_HOME/orvanta
    QString iniDir() const { return userDir + "/ini"; }
    QString imageDir() const { return userDir + "/image"; }
    QString tablesDir() const { return dataDir + "/tables"; }
    QString defaultPhoneDir() const { return userDir + "/phone"; }
};

// The data folder: the override when given, else $ORVANTA_SUITE_DATA, else
// ../suite or ../share/orvanta/suite beside the executable's folder. Empty
// when none holds the string table.
QString FindDataDir(const QString& appDir, const QString& override);
QStringList DataDirCandidates(const QString& appDir, const QString& override);
// $XDG_DATA_HOME/orvanta (~/.local/share/orvanta when unset).
QString UserSuiteDir();

// Copies the INI templates of dataDir/ini into iniDir, filling "{MOVIES}" with
// the user's movie folder. A file is rewritten only when its content differs.
bool InstallIniFiles(const QString& templateDir, const QString& iniDir, const QString& moviesDir, QString* error);

// Makes userDir/<name> a symbolic link to dataDir/<name> for each of the
// encoder libraries and the image folder that dataDir holds. A link to
// elsewhere is replaced; a real file or folder of that name is kept.
void LinkDataIntoSuiteFolder(const QString& dataDir, const QString& userDir);
inline const QStringList kLinkedDataNames = { "libOTTEnc.so", "libOTTAVIEncoder.so", "image" };

struct RegistryDefault {
    QString name;
    QString value;
};
// The suite values the host publishes on first run.
QList<RegistryDefault> SuiteDefaults(const SuiteLayout& layout, const QString& language);
// Writes every value of defaults that the suite key does not hold yet;
// returns the names written. Fails when the registry cannot be written.
bool WriteMissingValues(const QList<RegistryDefault>& defaults, QStringList* written, QString* error);
// Writes the values whatever the suite key holds.
bool WriteValues(const QList<RegistryDefault>& values, QString* error);
// "KR" for a Korean system locale, else "EN".
QString SystemLanguage();
