// The phone-format import rule: every place where the user brings a file
// into the editor (the media list, the toolbar's open command, the source
// preview) runs it first. Phone-format movies (.3gp .3g2 .k3g .mp4 .skm, by
// the last four characters of the path) would need a converter to AVI that
// is never available, so they are refused with a message and nothing is
// added; every other file passes untouched. Files the host hands over are
// listed without the rule.
#pragma once

#include "config/resources.h"

#include <QDateTime>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>

class QObject;
class QWidget;

// The converter from a phone movie to AVI. It keeps its two paths but is
// never available, so Convert is never reached by the rule.
class CPhoneMovieConverter {
public:
    void SetSource(const QString& path) { source_ = path; }
    void SetTarget(const QString& path) { target_ = path; }
    const QString& source() const { return source_; }
    const QString& target() const { return target_; }
    bool IsAvailable() const { return false; }
    // Refuses: there is nothing that could convert.
    bool Convert() { return false; }

    // Shared by every converter: the run flag and the window that receives
    // progress notices (the toolbar and preview variants set both).
    static std::atomic<bool> runFlag;
    static std::atomic<QObject*> progressReceiver;

private:
    QString source_;
    QString target_;
};

enum class ImportVariant { MediaList, ToolBar, Preview };

// What one importing place hands the rule.
struct ImportSetup {
    // Texts and images of the refusal message.
    ResourceLookup resources;
    // The editor's work folder; the per-second import folder is made inside
    // it. Empty: no import folder (the refusal still shows).
    QString workFolder;
    // Local time of the import (the clock can be set for tests).
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // Owner of the refusal message (may be null).
    QWidget* owner = nullptr;
    // Toolbar and preview variants: the window that receives the converter's
    // progress notices.
    QObject* progressWindow = nullptr;
};

enum class ImportResult { Passed, Refused };

// Runs the rule on one path. Passed: the caller goes on with the path
// unchanged. Refused: the refusal message was shown (and closed) through
// the dialog service. May run on a worker thread (the toolbar's variant):
// the dialog service then shows the message on the UI thread.
ImportResult RunImportRule(
    const QString& path, ImportVariant variant, const ImportSetup& setup, CPhoneMovieConverter& converter);

// "<workFolder>/YYYYMMDDhhmmss" for when, created when nothing of that name
// exists; empty when workFolder is empty.
QString MakeImportFolderIn(const QString& workFolder, const QDateTime& when);
// The conversion target: the folder, the file title, ".avi".
QString ConversionTarget(const QString& importFolder, const QString& path);
// The text of the refusal for path, with the current model names.
QString ImportRefusalText(const QString& path, const ResourceLookup& resources);
