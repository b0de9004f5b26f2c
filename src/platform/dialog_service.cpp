#include "platform/dialog_service.h"

#include <QCoreApplication>
#include <QVariant>

#include <cstdio>
#include <mutex>

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

// Without a window system: messages go to the error stream, questions and
// file dialogs are declined, so nothing is done that nobody confirmed.
class HeadlessDialogService : public DialogService {
public:
    int messageBox(QWidget*, const QString& text, const QString&, unsigned type) override
    {
        report(text);
        switch (type & 0x0F) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
        }
    }
    int skinnedMessage(QWidget*, const SkinnedMessage& message) override
    {
        report(message.text);
        return message.type == 2 ? IDOK : IDCANCEL;
    }
    std::optional<QString> saveFileName(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QStringList> openFileNames(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
    int runModal(QDialog*) override { return IDCANCEL; }

private:
    static void report(const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }
};

// The service is published on the application object too, so that a host
// and the component (each with its own copy of this code) share one.
constexpr const char* kServiceProperty = "cwDialogService";

DialogService* sharedService()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        return reinterpret_cast<DialogService*>(app->property(kServiceProperty).value<quintptr>());
    return nullptr;
}

} // namespace

DialogService& Dialogs()
{
    std::lock_guard lock(serviceMutex());
    if (auto& slot = serviceSlot())
        return *slot;
    if (DialogService* shared = sharedService())
        return *shared;
    static HeadlessDialogService headless;
    return headless;
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

bool HasDialogService()
{
    std::lock_guard lock(serviceMutex());
    return serviceSlot() || sharedService();
}
