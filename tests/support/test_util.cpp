#include "test_util.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "skin/scripted_dialog_service.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>

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
    CRegistry reg;
    reg.OpenKey(kSuiteKey);
    reg.WriteString(name, value);
}

ToolRun RunTool(const QString& program, const QStringList& args, const QStringList& env, int timeoutMs)
{
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

QString RunFfprobe(const QStringList& args)
{
    return QString::fromUtf8(RunTool("ffprobe", QStringList { "-v", "error" } + args, {}, 60000).out).trimmed();
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
