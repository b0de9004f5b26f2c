// The suite's published settings, read afresh from the registry at each call.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

inline constexpr const char* kSuiteKey = "Orvanta3.0";
inline constexpr const char* kDefaultAppTitle = "Orvanta 3.0";
// Buffer sizes (UTF-16 units) for folder values and for other texts.
inline constexpr unsigned kFolderValueChars = 260;
inline constexpr unsigned kTextValueChars = 128;

// Appends the path separator "/" unless the path already ends in one (an
// empty path becomes "/").
QString AddTrailingBackslash(const QString& path);

QString GetImageFolder();
QString GetStringIniPath();
QString GetSuiteIniPath();
QString GetModelIniPath();
QString GetCurrentPath();
QString GetAppTitle();
QString GetDefaultModelName();
QString GetDisplayModelName();
QString GetLanguage();
// "FOLDER": the suite's installation folder (empty when missing).
QString GetSuiteFolder();
// The suite data a program was installed or built with, found from the
// program's folder: ../share/orvanta/suite when installed, ../suite in a
// build tree. Empty when neither holds the string table.
QString BundledSuiteFolder(const QString& programDir);
bool SetEditingFlag(bool editing);

// Reads one string value of the suite key with a zeroed buffer of
// capacityChars; empty optional when the read fails.
std::optional<QString> ReadSuiteString(const QString& name, unsigned capacityChars);

// "<FOLDER>/Temp/YYYYMMDDhhmmss" for the given local time.
QString ImportFolderName(const QString& suiteFolder, const QDateTime& when);
// Names the import folder for now and creates it when nothing of that name
// exists; returns its path.
QString MakeImportFolder();
