#include "test_util.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "skin/scripted_dialog_service.h"
#include "ui_watchdog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TempRegistry::TempRegistry()
    : previous_(qgetenv("ORVANTA_REGISTRY"))
{
    path_ = dir_.filePath("registry.db");
    qputenv("ORVANTA_REGISTRY", path_.toLocal8Bit());
}

TempRegistry::~TempRegistry()
{
    qputenv("ORVANTA_REGISTRY", previous_);
}

ScriptedDialogs::ScriptedDialogs()
{
    auto service = std::make_unique<ScriptedDialogService>();
    service_ = service.get();
    previous_ = SetDialogService(std::move(service));
}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogService(std::move(previous_));
}

void SetSuiteValue(const QString& name, const QString& value)
{
    // A test's settings (the first one makes the test's registry database,
    // its disk syncs take tens of milliseconds) are not the editor's work.
    const UiStallAllowance allowance;
    CRegistry reg;
    reg.OpenKey(kSuiteKey);
    reg.WriteString(name, value);
}

#if defined(__SANITIZE_THREAD__)
#define CW_TEST_FORK_COMMANDS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CW_TEST_FORK_COMMANDS 1
#endif
#endif

#ifdef CW_TEST_FORK_COMMANDS
namespace {

// Under ThreadSanitizer the commands start with fork() and exec, not with
// QProcess: QProcess starts its child vfork-style in the parent's memory,
// where the child runs the sanitizer's hooks on the main thread's state;
// afterwards the sanitizer no longer sees the main thread's locks and
// reports every later hand-over to a worker thread as a race. Standard
// output goes to *out; the exit code, or -1.
int RunForked(const QString& program, const QStringList& args, QByteArray* out)
{
    std::vector<QByteArray> words { QFile::encodeName(program) };
    for (const QString& a : args)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_RDWR);
        ::dup2(quiet, STDIN_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::dup2(fds[1], STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (out)
            out->append(buffer, n);
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace
#endif

bool RunFfmpeg(const QStringList& args)
{
    // Making a test's media is not the editor's work on the UI thread.
    const UiStallAllowance allowance;
#ifdef CW_TEST_FORK_COMMANDS
    return RunForked("ffmpeg", QStringList { "-y", "-nostdin", "-loglevel", "error" } + args, nullptr) == 0;
#else
    QProcess p;
    p.start("ffmpeg", QStringList { "-y", "-nostdin", "-loglevel", "error" } + args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
#endif
}

QString RunFfprobe(const QStringList& args)
{
    const UiStallAllowance allowance;
#ifdef CW_TEST_FORK_COMMANDS
    QByteArray out;
    RunForked("ffprobe", QStringList { "-v", "error" } + args, &out);
    return QString::fromUtf8(out).trimmed();
#else
    QProcess p;
    p.start("ffprobe", QStringList { "-v", "error" } + args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
#endif
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}
