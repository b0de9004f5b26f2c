#include "test_util.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "skin/scripted_dialog_service.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

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

bool RunFfmpeg(const QStringList& args)
{
    QProcess p;
    p.start("ffmpeg", QStringList { "-y", "-nostdin", "-loglevel", "error" } + args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString RunFfprobe(const QStringList& args)
{
    QProcess p;
    p.start("ffprobe", QStringList { "-v", "error" } + args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
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
