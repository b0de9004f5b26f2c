#include "platform/private_folder.h"

#include "platform/c_handles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kPrefix = "cw-";

// Deletes the entries of the open folder dirFd and the folder name in
// parentFd. Links are unlinked, never followed; no permission is changed,
// so an entry that cannot be removed stays (and so does its folder).
void RemoveTree(int parentFd, const char* name)
{
    UniqueFd dirFd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dirFd) {
        if (DIR* dir = ::fdopendir(::dup(dirFd.get()))) {
            while (dirent* entry = ::readdir(dir)) {
                if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, ".."))
                    continue;
                struct stat st { };
                if (::fstatat(dirFd.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(st.st_mode))
                    RemoveTree(dirFd.get(), entry->d_name);
                else
                    ::unlinkat(dirFd.get(), entry->d_name, 0);
            }
            ::closedir(dir);
        }
    }
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

void RemovePrivateFolder(const QString& path)
{
    const QByteArray parent = QFile::encodeName(QFileInfo(path).path());
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    UniqueFd parentFd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentFd)
        RemoveTree(parentFd.get(), name.constData());
}

// The process id in the marker of folder name under baseFd, owned by us; 0
// when there is no such marker.
pid_t MarkerOwner(int baseFd, const char* name)
{
    UniqueFd dirFd(::openat(baseFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dirFd)
        return 0;
    UniqueFd marker(::openat(dirFd.get(), CPrivateFolder::kMarkerName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st { };
    if (!marker || ::fstat(marker.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(marker.get(), text, sizeof text - 1);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return pid > 0 && end != text ? static_cast<pid_t>(pid) : 0;
}

bool ProcessIsGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

CPrivateFolder::CPrivateFolder(const QString& base)
{
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        return;
    const QByteArray baseName = QFile::encodeName(base);
    QDir().mkpath(QFileInfo(base).path());
    if (::mkdir(baseName.constData(), 0700) != 0 && errno != EEXIST)
        return;
    QByteArray templ = baseName + "/" + kPrefix + "XXXXXX";
    if (!::mkdtemp(templ.data()))
        return;
    const QString made = QFile::decodeName(templ);
    UniqueFd marker(
        ::open((templ + "/" + kMarkerName).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const QByteArray pid = QByteArray::number(static_cast<qlonglong>(::getpid())) + "\n";
    if (!marker || ::write(marker.get(), pid.constData(), size_t(pid.size())) != pid.size()) {
        RemovePrivateFolder(made);
        return;
    }
    path_ = made;
}

CPrivateFolder::~CPrivateFolder()
{
    if (!path_.isEmpty())
        RemovePrivateFolder(path_);
}

int CPrivateFolder::RemoveAbandoned(const QString& base)
{
    UniqueFd baseFd(::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!baseFd)
        return 0;
    DIR* dir = ::fdopendir(::dup(baseFd.get()));
    if (!dir)
        return 0;
    int removed = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kPrefix, std::strlen(kPrefix)) != 0)
            continue;
        const pid_t owner = MarkerOwner(baseFd.get(), entry->d_name);
        if (owner > 0 && owner != ::getpid() && ProcessIsGone(owner)) {
            RemoveTree(baseFd.get(), entry->d_name);
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

QString WorkFolderBase(const QString& suiteFolder, QString* refusal)
{
    QString why;
    struct stat st { };
    if (suiteFolder.isEmpty())
        why = QStringLiteral("no suite folder is set");
    else if (!QDir::isAbsolutePath(suiteFolder))
        why = QStringLiteral("the suite folder \"%1\" is not an absolute path").arg(suiteFolder);
    else if (::stat(QFile::encodeName(suiteFolder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        why = QStringLiteral("the suite folder \"%1\" does not exist").arg(suiteFolder);
    else if (st.st_uid != ::geteuid() && st.st_uid != 0)
        why = QStringLiteral("the suite folder \"%1\" belongs to another user").arg(suiteFolder);
    if (refusal)
        *refusal = why;
    if (why.isEmpty())
        return QDir::cleanPath(suiteFolder) + QStringLiteral("/Temp");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + QStringLiteral("/orvanta/Temp");
}
