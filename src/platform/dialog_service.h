// Every message box, file dialog and modal run of the component goes through
// one DialogService. The Qt service (src/skin) shows real dialogs; the
// scripted service (src/skin) answers from a queue and records what was
// asked, so tests and the host's script mode never block on a modal window.
// This layer holds only the interface and the process-wide slot, so code
// without widgets (the engine, the save job, cw-save) can report through it.
#pragma once

#include "host_api.h"

#include <QString>
#include <QStringList>
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

// The process-wide service. When none was installed, a headless one writes
// messages to the error stream and answers every dialog with "cancel".
DialogService& Dialogs();
// Installs a service (ownership passes); returns the previous one.
std::unique_ptr<DialogService> SetDialogService(std::unique_ptr<DialogService> service);
// Whether a service was installed in this process (by this copy of the code
// or, through the application object, by the host's).
bool HasDialogService();

// Messages kept instead of shown. While a DeferMessages scope is open on a
// thread, Dialogs() on that thread is this sink: message boxes are recorded
// and answered OK (questions, file dialogs and modal runs are declined), so
// a worker never waits for the UI thread. Replay() then shows what was kept,
// in order, through the service of the calling thread.
class DeferredMessages : public DialogService {
public:
    int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override;
    int skinnedMessage(QWidget* owner, const SkinnedMessage& message) override;
    std::optional<QString> saveFileName(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QStringList> openFileNames(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    int runModal(QDialog*) override;

    // Shows the kept messages and forgets them; call where showing may wait.
    void Replay();
    // Forgets the kept messages unshown.
    void Clear();
    bool IsEmpty() const;

private:
    struct Kept {
        bool skinned = false;
        QWidget* owner = nullptr;
        QString text;
        QString caption;
        unsigned type = 0;
        SkinnedMessage message;
    };
    mutable std::mutex mutex_;
    std::vector<Kept> kept_;
};

// Whether a DeferMessages scope is open on the calling thread.
bool IsDeferringMessages();

// Makes sink the service of this thread until the scope ends.
class DeferMessages {
public:
    explicit DeferMessages(DeferredMessages& sink);
    ~DeferMessages();
    DeferMessages(const DeferMessages&) = delete;
    DeferMessages& operator=(const DeferMessages&) = delete;

private:
    DialogService* previous_;
};
