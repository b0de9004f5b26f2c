#include "test_util.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "platform/ini_file.h"
#include "skin/scripted_dialog_service.h"
#include "ui_watchdog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cstdio>
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

QStringList ScriptedDialogs::texts() const
{
    QStringList texts;
    for (const DialogRecord& r : service_->records())
        texts << r.text;
    return texts;
}

QString SuiteText(QString section, QString key)
{
    return ini::ReadValue(QStringLiteral(CW_SOURCE_DIR "/data/suite/tables/text_EN.ini"), section, key).value_or("");
}

QString SuiteImage(QString section, QString key)
{
    return ini::ReadValue(QStringLiteral(CW_SOURCE_DIR "/data/suite/tables/image.ini"), section, key).value_or("");
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
// error is dropped; there is no time limit.
ToolRun RunForked(const QString& program, const QStringList& args, const QStringList& env)
{
    std::vector<QByteArray> words { QFile::encodeName(program) };
    for (const QString& a : args)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> vars;
    for (const QString& e : env)
        vars.push_back(e.toLocal8Bit());
    ToolRun r;
    int fds[2];
    if (::pipe(fds) != 0)
        return r;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return r;
    }
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_RDWR);
        ::dup2(quiet, STDIN_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::dup2(fds[1], STDOUT_FILENO);
        for (QByteArray& v : vars)
            ::putenv(v.data());
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
        r.out.append(buffer, n);
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace
#endif

ToolRun RunTool(const QString& program, const QStringList& args, const QStringList& env, int timeoutMs)
{
    // Running a test's tools is not the editor's work on the UI thread.
    const UiStallAllowance allowance;
#ifdef CW_TEST_FORK_COMMANDS
    (void)timeoutMs;
    return RunForked(program, args, env);
#else
    QProcess p;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : env)
            e.insert(entry.section('=', 0, 0), entry.section('=', 1));
        p.setProcessEnvironment(e);
    }
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
#endif
}

namespace {

// The cache file for a command that writes only its last argument from
// generated sources (no other argument is an absolute path); empty otherwise.
QString CachedMediaPath(const QStringList& args)
{
    if (args.isEmpty() || !QDir::isAbsolutePath(args.last()))
        return {};
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (QDir::isAbsolutePath(args[i]))
            return {};
    }
    const QByteArray key
        = QCryptographicHash::hash(args.mid(0, args.size() - 1).join('\n').toUtf8(), QCryptographicHash::Sha1).toHex();
    const QString suffix = QFileInfo(args.last()).completeSuffix();
    return QStringLiteral(CW_BUILD_DIR "/test-media/") + key + (suffix.isEmpty() ? "" : "." + suffix);
}

} // namespace

bool RunFfmpeg(const QStringList& args)
{
    const QString cached = CachedMediaPath(args);
    if (!cached.isEmpty() && QFileInfo(cached).isFile()) {
        QFile::remove(args.last());
        if (QFile::copy(cached, args.last()))
            return QFile::setPermissions(args.last(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
    const ToolRun r = RunTool("ffmpeg", QStringList { "-y", "-nostdin", "-loglevel", "error" } + args);
    if (r.exitCode != 0)
        return false;
    if (!cached.isEmpty()) {
        // Written under a unique name and renamed: test programs run in parallel.
        QDir().mkpath(QFileInfo(cached).path());
        QTemporaryFile tmp(cached + ".XXXXXX");
        if (tmp.open()) {
            tmp.close();
            QFile::remove(tmp.fileName());
            if (QFile::copy(args.last(), tmp.fileName())
                && ::rename(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(cached).constData()) == 0)
                tmp.setAutoRemove(false);
        }
    }
    return true;
}

QString MediaCache::Path(const QString& name)
{
    static QTemporaryDir folder;
    return folder.filePath(name);
}

QString MediaCache::Make(const QString& name, const QStringList& args)
{
    // One name, one recipe: a second recipe under a taken name is refused.
    static QHash<QString, QStringList> made;
    const QString path = Path(name);
    if (const auto at = made.constFind(name); at != made.cend())
        return *at == args ? path : QString();
    if (!RunFfmpeg(args + QStringList { path }))
        return QString();
    made.insert(name, args);
    return path;
}

QString RunFfprobe(const QStringList& args)
{
    return QString::fromUtf8(RunTool("ffprobe", QStringList { "-v", "error" } + args, {}, 60000).out).trimmed();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
