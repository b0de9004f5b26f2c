// The dialog service that shows real Qt dialogs, on the UI thread (a call
// from a worker waits there for the answer).
#pragma once

#include "platform/dialog_service.h"

class QtDialogService : public DialogService {
public:
    int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) override;
    int skinnedMessage(QWidget* owner, const SkinnedMessage& message) override;
    std::optional<QString> saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QStringList> openFileNames(QWidget* owner, const FileDialogRequest& request) override;
    int runModal(QDialog* dialog) override;

    // The skinned message dialog, when one is installed; otherwise a plain
    // Qt message box shows skinned messages.
    using SkinnedPresenter = int (*)(QWidget* owner, const SkinnedMessage& message);
    static void setSkinnedPresenter(SkinnedPresenter presenter);
};

// Installs a QtDialogService unless this process already has a service
// (the host's, or a test's).
void InstallQtDialogServiceIfNone();
