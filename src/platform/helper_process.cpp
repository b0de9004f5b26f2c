#include "platform/helper_process.h"

#include "platform/c_handles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(std::min<long long>(left, INT_MAX)) : 0;
}

// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
public:
    SpawnSetup()
    {
        ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        ok_ = ::posix_spawnattr_init(&attr_) == 0 && ok_;
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard input and error on /dev/null, standard output into
    // outputFd, everything else closed; the signal mask emptied and every
    // signal at its default action, whatever the calling thread had.
    bool Prepare(int outputFd)
    {
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        return ok_ && ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0
            && ::posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO) == 0
            && ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0
            && ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0
            && ::posix_spawnattr_setsigmask(&attr_, &none) == 0 && ::posix_spawnattr_setsigdefault(&attr_, &all) == 0
            && ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attr() const { return &attr_; }

private:
    bool ok_ = false;
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

// Waits for pid until deadline, then kills it and waits for it. The status
// through *status; true when it ended by itself.
bool Reap(pid_t pid, Clock::time_point deadline, int* status)
{
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
        if (MsLeft(deadline) == 0)
            break;
        std::this_thread::sleep_for(
            std::min<std::chrono::milliseconds>(pause, std::chrono::milliseconds(MsLeft(deadline))));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) { }
    return false;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file of the library or program this code is linked into.
std::string OwnBinary()
{
    Dl_info info;
    link_map* map = nullptr;
    if (::dladdr1(reinterpret_cast<const void*>(&OwnBinary), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP)
        && map && map->l_name && *map->l_name)
        return map->l_name;
    // The main program has no name in its link map.
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, std::size_t(n)) : std::string();
}

} // namespace

HelperRun RunHelper(
    const std::string& program, const std::vector<std::string>& arguments, int timeoutMs, std::size_t maxOutput)
{
    HelperRun run;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return run;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    SpawnSetup setup;
    if (!setup.Prepare(writeEnd.get()))
        return run;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ) != 0)
        return run;
    writeEnd.reset();

    bool tooLong = false;
    for (;;) {
        pollfd p { readEnd.get(), POLLIN, 0 };
        const int r = ::poll(&p, 1, MsLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break; // time is up (or poll failed): the helper is killed below
        char buffer[16384];
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // end of output
        if (run.output.size() + std::size_t(n) > maxOutput) {
            tooLong = true;
            break;
        }
        run.output.append(buffer, std::size_t(n));
    }
    int status = 0;
    const bool ended = Reap(pid, tooLong ? Clock::now() : deadline, &status);
    if (tooLong)
        run.end = HelperRun::End::TooLong;
    else if (!ended)
        run.end = HelperRun::End::TimedOut;
    else if (WIFEXITED(status)) {
        run.end = HelperRun::End::Exited;
        run.exitCode = WEXITSTATUS(status);
    } else {
        run.end = HelperRun::End::Crashed;
    }
    return run;
}

std::string FindHelperProgram(const std::string& name)
{
    const std::string binary = OwnBinary();
    char resolved[PATH_MAX];
    if (binary.empty() || !::realpath(binary.c_str(), resolved))
        return {};
    std::string dir(resolved);
    dir.erase(dir.find_last_of('/') + 1);
    // The installed layout keeps private programs and libraries in
    // lib/orvanta (see CW_INSTALL_PRIVATE_LIBDIR).
    for (const char* relative : { "", "orvanta/", "../lib/orvanta/", "../bin/" }) {
        const std::string candidate = dir + relative + name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}
