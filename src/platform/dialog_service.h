// Every message box, file dialog and modal run of the component goes through
// one DialogService. The real service shows Qt dialogs; the scripted service
// answers from a queue and records what was asked, so tests and the host's
// script mode never block on a modal window.
#pragma once

#include "host_api.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

// Plain message box buttons and results (the classic values).
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class DialogKind { MessageBox, SkinnedMessage, SaveFile, OpenFile, Modal };

// A skinned message: the caption comes from "APP_TITLE" unless title is set.
struct SkinnedMessage {
    QString text;
    QString title;
    int type = 2; // message type; 2 = acknowledgement only
    bool selfClosing = false; // closes itself with result 2 after 3000 ms
    HostTextCallback textCallback = nullptr;
    HostImageCallback imageCallback = nullptr;
};

struct FileDialogRequest {
    QString title;
    QString filter; // "Label (*.ext)|..." or Qt's ";;"-separated form
    QString defaultName;
    QString initialFolder;
    QString defaultExtension;
    bool multiSelect = false;
};

// What a dialog was asked to show, as recorded by the scripted service.
struct DialogRecord {
    DialogKind kind;
    QString title;
    QString text;
    unsigned type = 0; // MB_* for message boxes, message type for skinned ones
    bool selfClosing = false;
    QString filter;
    QString defaultName;
    QString initialFolder;
};

class DialogService {
public:
    virtual ~DialogService() = default;

    // Plain message box; returns IDOK, IDCANCEL, IDYES or IDNO.
    virtual int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) = 0;
    // Skinned message box; returns the result of the button pressed (IDOK,
    // IDYES, IDNO, IDCANCEL) or 2 when a self-closing message timed out.
    virtual int skinnedMessage(QWidget* owner, const SkinnedMessage& message) = 0;
    // Empty optional when the user cancels.
    virtual std::optional<QString> saveFileName(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual std::optional<QStringList> openFileNames(QWidget* owner, const FileDialogRequest& request) = 0;
    // Runs dialog modally and returns its result code.
    virtual int runModal(QDialog* dialog) = 0;
};

// The process-wide service. The real one is installed when none was set.
DialogService& Dialogs();
// Installs a service (ownership passes); returns the previous one.
std::unique_ptr<DialogService> SetDialogService(std::unique_ptr<DialogService> service);

class QtDialogService : public DialogService {
public:
    int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override;
    int skinnedMessage(QWidget* owner, const SkinnedMessage& message) override;
    std::optional<QString> saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QStringList> openFileNames(QWidget* owner, const FileDialogRequest& request) override;
    int runModal(QDialog* dialog) override;

    // The skin toolkit installs the skinned message dialog here; until then a
    // plain Qt message box stands in.
    using SkinnedPresenter = int (*)(QWidget* owner, const SkinnedMessage& message);
    static void setSkinnedPresenter(SkinnedPresenter presenter);
};

// Answers dialogs from a queue and records every request. Thread-safe.
class ScriptedDialogService : public DialogService {
public:
    struct Answer {
        int result = IDOK; // message boxes and modal runs
        QStringList paths; // file dialogs; none = cancel
    };

    void pushResult(int result);
    void pushPath(const QString& path);
    void pushPaths(const QStringList& paths);
    void pushCancel();

    std::vector<DialogRecord> records() const;
    void clearRecords();
    // Longest time runModal waits for a dialog that nobody answers (ms).
    void setModalTimeout(int ms) { modalTimeoutMs_ = ms; }

    int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override;
    int skinnedMessage(QWidget* owner, const SkinnedMessage& message) override;
    std::optional<QString> saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QStringList> openFileNames(QWidget* owner, const FileDialogRequest& request) override;
    // With an answer queued, the dialog is closed with it at once. Otherwise
    // the dialog runs without blocking input until its own code (a worker's
    // message, a timer) closes it, or the modal timeout passes (result
    // IDCANCEL).
    int runModal(QDialog* dialog) override;

private:
    std::optional<Answer> next();
    void record(DialogRecord r);

    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<DialogRecord> records_;
    int modalTimeoutMs_ = 120000;
};
