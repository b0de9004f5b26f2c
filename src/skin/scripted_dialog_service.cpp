#include "skin/scripted_dialog_service.h"

#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

void ScriptedDialogService::pushResult(int result)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer { result, {} });
}

void ScriptedDialogService::pushPath(const QString& path)
{
    pushPaths(QStringList { path });
}

void ScriptedDialogService::pushPaths(const QStringList& paths)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer { IDOK, paths });
}

void ScriptedDialogService::pushCancel()
{
    std::lock_guard lock(mutex_);
    answers_.push_back(Answer { IDCANCEL, {} });
}

std::vector<DialogRecord> ScriptedDialogService::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

void ScriptedDialogService::clearRecords()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

std::optional<ScriptedDialogService::Answer> ScriptedDialogService::next()
{
    std::lock_guard lock(mutex_);
    if (answers_.empty())
        return std::nullopt;
    std::optional<Answer> a(std::in_place, std::move(answers_.front()));
    answers_.pop_front();
    return a;
}

void ScriptedDialogService::record(DialogRecord r)
{
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(r));
}

int ScriptedDialogService::messageBox(QWidget*, const QString& text, const QString& caption, unsigned type)
{
    record({ DialogKind::MessageBox, caption, text, type, false, {}, {}, {} });
    const auto a = next();
    if (a)
        return a->result;
    // Unanswered: the first button of the box.
    return (type & 0x0F) == MB_YESNO || (type & 0x0F) == MB_YESNOCANCEL ? IDYES : IDOK;
}

int ScriptedDialogService::skinnedMessage(QWidget*, const SkinnedMessage& message)
{
    record({ DialogKind::SkinnedMessage, message.title, message.text, static_cast<unsigned>(message.type),
        message.selfClosing, {}, {}, {} });
    const auto a = next();
    if (a)
        return a->result;
    // Unanswered: a self-closing message times out (2), another is acknowledged.
    return message.selfClosing ? 2 : IDOK;
}

std::optional<QString> ScriptedDialogService::saveFileName(QWidget*, const FileDialogRequest& request)
{
    record({ DialogKind::SaveFile, request.title, {}, 0, false, request.filter, request.defaultName,
        request.initialFolder });
    const auto a = next();
    if (!a || a->paths.isEmpty())
        return std::nullopt;
    return a->paths.first();
}

std::optional<QStringList> ScriptedDialogService::openFileNames(QWidget*, const FileDialogRequest& request)
{
    record({ DialogKind::OpenFile, request.title, {}, 0, false, request.filter, request.defaultName,
        request.initialFolder });
    const auto a = next();
    if (!a || a->paths.isEmpty())
        return std::nullopt;
    return a->paths;
}

int ScriptedDialogService::runModal(QDialog* dialog)
{
    record({ DialogKind::Modal, dialog ? dialog->windowTitle() : QString(), {}, 0, false, {}, {}, {} });
    if (!dialog)
        return IDCANCEL;
    if (const auto a = next())
        return a->result;
    // Let the dialog's own code close it (a worker's message, a timer).
    QPointer<QDialog> guard(dialog);
    QEventLoop loop;
    int result = IDCANCEL;
    QObject::connect(dialog, &QDialog::finished, &loop, [&](int r) {
        result = r;
        loop.quit();
    });
    QTimer::singleShot(modalTimeoutMs_, &loop, [&] {
        if (guard)
            guard->done(IDCANCEL);
        loop.quit();
    });
    dialog->setModal(false);
    dialog->show();
    loop.exec();
    return result;
}
