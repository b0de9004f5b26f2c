// Helpers shared by the tests.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class DialogService;
class ScriptedDialogService;

// Points the registry store at a fresh database for the life of the object.
class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    QString path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
    QByteArray previous_;
};

// Installs a ScriptedDialogService for the life of the object.
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogService& operator*() { return *service_; }
    ScriptedDialogService* operator->() { return service_; }

private:
    ScriptedDialogService* service_;
    std::unique_ptr<DialogService> previous_;
};

// Writes a string value under SOFTWARE\Orvanta3.0.
void SetSuiteValue(const QString& name, const QString& value);

// Runs the ffmpeg command with the given arguments (plus -y -loglevel error);
// true when it exited 0.
bool RunFfmpeg(const QStringList& args);
// Output of ffprobe -v error with the given arguments.
QString RunFfprobe(const QStringList& args);
