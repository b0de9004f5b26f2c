#include "mediainfo/isolated_run.h"

#include "platform/c_handles.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

bool RunIsolated(const std::function<void()>& work, int timeoutMs)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The child: only the work, then out without running any exit
        // handler of the parent's libraries (nor any destructor).
        readEnd.reset();
        // What goes wrong in the child is told by its result, not by its
        // messages on the shared error stream.
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0)
            ::dup2(quiet, STDERR_FILENO);
        work();
        const char done = 1;
        const ssize_t written = ::write(writeEnd.get(), &done, 1);
        ::_exit(written == 1 ? 0 : 1);
    }
    writeEnd.reset();
    bool finished = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p { readEnd.get(), POLLIN, 0 };
        const int r = ::poll(&p, 1, int(left.count() > 0 ? left.count() : 0));
        if (r < 0 && errno == EINTR)
            continue;
        char done = 0;
        finished = r > 0 && ::read(readEnd.get(), &done, 1) == 1 && done == 1;
        break;
    }
    if (!finished)
        ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    return finished;
}
