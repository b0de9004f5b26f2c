#include "skin/qt_dialog_service.h"

#include "platform/tsan_annotations.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace {

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
    CallBlocking(app, [&] { result = f(); });
    return result;
}

} // namespace

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

void InstallQtDialogServiceIfNone()
{
    if (!HasDialogService())
        SetDialogService(std::make_unique<QtDialogService>());
}
