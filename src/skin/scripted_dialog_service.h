#pragma once

#include "platform/dialog_service.h"

#include <deque>
#include <mutex>
#include <vector>

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
