#include "platform/dialog_service.h"

#include <QCoreApplication>
#include <QVariant>

#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

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

// The service of a thread that holds its messages back (DeferMessages).
// A map under the service lock, not a thread_local: this code is linked into
// the component library too, which hosts load with dlopen, and the leak
// checker of the sanitizer builds crashes reading such a library's
// thread-local blocks.
std::map<std::thread::id, DialogService*>& threadServices()
{
    static std::map<std::thread::id, DialogService*> services;
    return services;
}

// Call with the service lock held.
DialogService* threadService()
{
    const auto& services = threadServices();
    const auto it = services.find(std::this_thread::get_id());
    return it == services.end() ? nullptr : it->second;
}

void setThreadService(DialogService* service)
{
    std::lock_guard lock(serviceMutex());
    if (service)
        threadServices()[std::this_thread::get_id()] = service;
    else
        threadServices().erase(std::this_thread::get_id());
}

} // namespace

DialogService& Dialogs()
{
    std::lock_guard lock(serviceMutex());
    if (DialogService* own = threadService())
        return *own;
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

int DeferredMessages::messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type)
{
    std::lock_guard lock(mutex_);
    kept_.push_back(Kept { false, owner, text, caption, type, {} });
    return (type & 0x0F) == MB_OK ? IDOK : IDCANCEL;
}

int DeferredMessages::skinnedMessage(QWidget* owner, const SkinnedMessage& message)
{
    std::lock_guard lock(mutex_);
    kept_.push_back(Kept { true, owner, message.text, message.title, unsigned(message.type), message });
    return message.type == 2 ? IDOK : IDCANCEL;
}

int DeferredMessages::runModal(QDialog*)
{
    return IDCANCEL;
}

void DeferredMessages::Replay()
{
    std::vector<Kept> kept;
    {
        std::lock_guard lock(mutex_);
        kept.swap(kept_);
    }
    for (const Kept& k : kept) {
        if (k.skinned)
            Dialogs().skinnedMessage(k.owner, k.message);
        else
            Dialogs().messageBox(k.owner, k.text, k.caption, k.type);
    }
}

void DeferredMessages::Clear()
{
    std::lock_guard lock(mutex_);
    kept_.clear();
}

bool DeferredMessages::IsEmpty() const
{
    std::lock_guard lock(mutex_);
    return kept_.empty();
}

bool IsDeferringMessages()
{
    std::lock_guard lock(serviceMutex());
    return dynamic_cast<DeferredMessages*>(threadService()) != nullptr;
}

DeferMessages::DeferMessages(DeferredMessages& sink)
{
    {
        std::lock_guard lock(serviceMutex());
        previous_ = threadService();
    }
    setThreadService(&sink);
}

DeferMessages::~DeferMessages()
{
    setThreadService(previous_);
}
