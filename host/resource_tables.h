// The host's string and image tables: INI-style files that map a (section,
// key) pair to a text or to an image file name. The tables are read once at
// start; lookups match sections and keys without regard to case, and the
// first of duplicate keys wins.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class ResourceTable {
public:
    // Reads path into the table (entries already present are kept). Returns
    // false with error() set when the file cannot be read.
    bool load(const QString& path);
    // Parses INI text: "[SECTION]" lines, "KEY=value" lines, ";" and "#"
    // comments. Values are trimmed, one pair of enclosing quotes is removed,
    // and the escapes "\n" (line feed) and "\\" (backslash) are decoded.
    void parse(const QString& text);

    // Empty optional-like: an empty text when the pair is missing.
    QString value(const QString& section, const QString& key) const;
    bool contains(const QString& section, const QString& key) const;
    QStringList sections() const;
    QStringList keys(const QString& section) const;
    int size() const;
    QString error() const { return error_; }

private:
    // Upper-cased section -> upper-cased key -> value; the names as first
    // written are kept for listing.
    QHash<QString, QHash<QString, QString>> values_;
    QHash<QString, QString> sectionNames_;
    QHash<QString, QStringList> keyNames_;
    QString error_;
};

// The tables the two host callbacks answer from. Texts come from the table
// of the suite language and fall back to the English table; image names come
// from the image table.
class HostResources {
public:
    // Loads "text_EN.ini", "text_KR.ini" and "image.ini" from folder. The
    // Korean table is chosen when language is "KR" or "KOR" (any case).
    bool load(const QString& folder, const QString& language);
    QString text(const QString& section, const QString& key) const;
    QString image(const QString& section, const QString& key) const;
    bool korean() const { return korean_; }
    QString error() const { return error_; }

    const ResourceTable& english() const { return english_; }
    const ResourceTable& koreanTable() const { return koreanTable_; }
    const ResourceTable& images() const { return images_; }

private:
    ResourceTable english_;
    ResourceTable koreanTable_;
    ResourceTable images_;
    bool korean_ = false;
    QString error_;
};

// The tables the callbacks below use (set once at start, on the UI thread).
void SetHostResources(const HostResources* resources);
// HostTextCallback and HostImageCallback of the host.
QString HostTextLookup(QString section, QString key);
QString HostImageLookup(QString section, QString key);
