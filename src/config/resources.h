// Texts and image paths looked up by (section, key) through the host's
// callbacks, and the model INI file of the connected phone.
#pragma once

#include "host_api.h"

#include <QString>
#include <memory>
#include <optional>

// Holds the host's two lookup callbacks (the main frame and every skinned
// dialog own one).
class ResourceLookup {
public:
    ResourceLookup() = default;
    ResourceLookup(HostTextCallback text, HostImageCallback image)
        : text_(text)
        , image_(image)
    { }

    void SetResourceCallbacks(HostTextCallback text, HostImageCallback image)
    {
        text_ = text;
        image_ = image;
    }
    HostTextCallback textCallback() const { return text_; }
    HostImageCallback imageCallback() const { return image_; }

    // The host's text, unchanged (empty when the host has none).
    QString GetResourceText(const QString& section, const QString& key) const;
    // GetImageFolder() + the host's file name, or empty text.
    QString GetResourceImagePath(const QString& section, const QString& key) const;
    // The layout number under (section, key); fallback when the text is empty.
    int GetResourceInt(const QString& section, const QString& key, int fallback = 0) const;

private:
    HostTextCallback text_ = nullptr;
    HostImageCallback image_ = nullptr;
};

// Reads key from section "<section>_<language>" of the model INI file, with
// the default; every "\n" pair in the value becomes a line feed.
QString GetModelString(const QString& section, const QString& key, const QString& defaultValue);

// One INI file; GetString returns at most 2047 characters.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(const QString& path);
    virtual ~IniFile() = default;

    void SetPath(const QString& path);
    QString path() const { return path_.value_or(QString()); }
    // Empty text when the value is missing or empty, or no path is set.
    QString GetString(const QString& section, const QString& key);
    bool WriteString(const QString& section, const QString& key, const QString& value);

private:
    std::optional<QString> path_;
    QString value_;
};
