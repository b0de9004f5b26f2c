#include "platform/running_objects.h"

#include <mutex>
#include <vector>

#include <unistd.h>

namespace {
struct Entry {
    std::uint32_t registration;
    QString name;
};

std::mutex& TableMutex()
{
    static std::mutex m;
    return m;
}

std::vector<Entry>& Table()
{
    static std::vector<Entry> t;
    return t;
}

std::uint32_t g_nextRegistration = 1;
} // namespace

QString RunningObjectName(const void* graph)
{
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(graph));
    const auto pid = static_cast<std::uint32_t>(::getpid());
    return QString::asprintf("FilterGraph %08x pid %08x", address, pid);
}

HRESULT AddGraphToRot(const void* graph, std::uint32_t* registration)
{
    if (!graph || !registration)
        return E_POINTER;
    std::lock_guard lock(TableMutex());
    std::uint32_t id = g_nextRegistration++;
    if (id == 0)
        id = g_nextRegistration++;
    Table().push_back({ id, RunningObjectName(graph) });
    *registration = id;
    return S_OK;
}

HRESULT RemoveGraphFromRot(std::uint32_t registration)
{
    std::lock_guard lock(TableMutex());
    auto& table = Table();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->registration == registration) {
            table.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

QStringList RunningObjectNames()
{
    std::lock_guard lock(TableMutex());
    QStringList names;
    for (const Entry& e : Table())
        names << e.name;
    return names;
}
