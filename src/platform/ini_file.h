// INI files with the private-profile behaviour: sections and keys matched
// without regard to case, the first of duplicate keys wins, the caller's
// default when the file, section or key is missing, values cut to the
// caller's buffer. Reads UTF-8 (with or without BOM) and UTF-16LE with BOM,
// CRLF or LF; the writer keeps the file's encoding and line ends.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace ini {

// The value, or empty optional when the file, section or key is missing.
std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key);

// The private-profile string reader: copies the value (or the default) into
// a buffer of bufferChars units, cut to bufferChars - 1 characters, and
// returns the number of characters copied. Surrounding whitespace is removed
// and one pair of enclosing quotes is stripped.
unsigned GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue, QString& out,
    unsigned bufferChars, const QString& path);

// Writes (or, with an empty optional, deletes) one key; creates the file and
// the section when missing. Returns false when the file cannot be written.
bool WritePrivateProfileString(
    const QString& section, const QString& key, const std::optional<QString>& value, const QString& path);

QStringList SectionNames(const QString& path);
QStringList KeyNames(const QString& path, const QString& section);

} // namespace ini
