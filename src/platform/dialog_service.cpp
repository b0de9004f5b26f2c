#include "platform/dialog_service.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

std::unique_ptr<DialogService>& serviceSlot()
{
    static std::unique_ptr<DialogService> service;
    return service;
}

std::mutex& serviceMutex()
{
    static std::mutex m;
    return m;
}

QtDialogService::SkinnedPresenter& skinnedPresenter()
{
    static QtDialogService::SkinnedPresenter presenter = nullptr;
    return presenter;
}

// "Movies (*.3gp)|*.3gp|" (the classic form) or Qt's own form, as a Qt filter.
QString toQtFilter(const QString& filter)
{
    if (!filter.contains('|'))
        return filter;
    const QStringList parts = filter.split('|', Qt::SkipEmptyParts);
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        QString label = parts[i];
        out << (label.contains('(') ? label : label + " (" + patterns + ")");
    }
    return out.join(";;");
}

// Qt dialogs live on the UI thread: a call from a worker waits there.
template <typename F> auto onUiThread(F&& f) -> decltype(f())
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return f();
    decltype(f()) result {};
    QMetaObject::invokeMethod(
        app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

} // namespace

// The service is published on the application object too, so that a host
// and the component (each with its own copy of this code) share one.
constexpr const char* kServiceProperty = "cwDialogService";

DialogService& Dialogs()
{
    std::lock_guard lock(serviceMutex());
    auto& slot = serviceSlot();
    if (slot)
        return *slot;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (auto* shared = reinterpret_cast<DialogService*>(app->property(kServiceProperty).value<quintptr>()))
            return *shared;
    }
    slot = std::make_unique<QtDialogService>();
    return *slot;
}

std::unique_ptr<DialogService> SetDialogService(std::unique_ptr<DialogService> service)
{
    std::lock_guard lock(serviceMutex());
    auto old = std::move(serviceSlot());
    serviceSlot() = std::move(service);
    if (QCoreApplication* app = QCoreApplication::instance())
        app->setProperty(kServiceProperty, QVariant::fromValue(reinterpret_cast<quintptr>(serviceSlot().get())));
    return old;
}

// --- QtDialogService -------------------------------------------------------

int QtDialogService::messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        return onUiThread([&] { return messageBox(owner, text, caption, type); });
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

void QtDialogService::setSkinnedPresenter(SkinnedPresenter presenter)
{
    skinnedPresenter() = presenter;
}

int QtDialogService::skinnedMessage(QWidget* owner, const SkinnedMessage& message)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        return onUiThread([&] { return skinnedMessage(owner, message); });
    if (auto presenter = skinnedPresenter())
        return presenter(owner, message);
    QMessageBox box(owner);
    box.setWindowTitle(message.title);
    box.setText(message.text);
    box.setStandardButtons(QMessageBox::Ok);
    if (message.selfClosing)
        QTimer::singleShot(3000, &box, [&box] { box.done(IDCANCEL); });
    const int r = box.exec();
    return r == QMessageBox::Ok ? IDOK : IDCANCEL;
}

std::optional<QString> QtDialogService::saveFileName(QWidget* owner, const FileDialogRequest& request)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        return onUiThread([&] { return saveFileName(owner, request); });
    QFileDialog dlg(owner, request.title, request.initialFolder, toQtFilter(request.filter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!request.defaultExtension.isEmpty())
        dlg.setDefaultSuffix(request.defaultExtension);
    if (!request.defaultName.isEmpty())
        dlg.selectFile(request.defaultName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}

std::optional<QStringList> QtDialogService::openFileNames(QWidget* owner, const FileDialogRequest& request)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        return onUiThread([&] { return openFileNames(owner, request); });
    QFileDialog dlg(owner, request.title, request.initialFolder, toQtFilter(request.filter));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!request.defaultName.isEmpty())
        dlg.selectFile(request.defaultName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles();
}

int QtDialogService::runModal(QDialog* dialog)
{
    return dialog ? dialog->exec() : IDCANCEL;
}

// --- ScriptedDialogService -------------------------------------------------

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
