// Helpers shared by the tests.
#pragma once

#include "platform/messages.h"
#include "skin/scripted_dialog_service.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

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
    // The texts of the dialogs shown so far, in order.
    QStringList texts() const;

private:
    ScriptedDialogService* service_;
    std::unique_ptr<DialogService> previous_;
};

// The default suite's English text and image name of an entry
// (data/suite/tables), as the host answers the editor's lookups.
QString SuiteText(QString section, QString key);
QString SuiteImage(QString section, QString key);

// Writes a string value under SOFTWARE\Orvanta3.0.
void SetSuiteValue(const QString& name, const QString& value);

// What a command printed and how it ended (exitCode -1: it crashed, timed
// out or could not start).
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs program with args (extra environment entries "NAME=value" added),
// waiting up to timeoutMs.
ToolRun RunTool(const QString& program, const QStringList& args, const QStringList& env = {}, int timeoutMs = 120000);

// The media a test program makes, in one folder for the whole program: each
// clip is made by the ffmpeg command once per build tree (RunFfmpeg's cache)
// and copied in once per program, however many cases ask for it. A case that
// changes a clip works on a copy.
namespace MediaCache {
// Where name lives in the program's media folder.
QString Path(const QString& name);
// name, made from the ffmpeg arguments (the output path left out) the first
// time it is asked for; empty when the command failed.
QString Make(const QString& name, const QStringList& args);
} // namespace MediaCache

// Runs the ffmpeg command with the given arguments (plus -y -loglevel error);
// true when it exited 0. A command that makes one file (the last argument)
// from generated sources only is run once per build tree: later runs copy
// the file from the build tree's test-media cache.
bool RunFfmpeg(const QStringList& args);
// Output of ffprobe -v error with the given arguments.
QString RunFfprobe(const QStringList& args);

// Writes bytes to path, making its folder; false when it cannot.
bool WriteFile(const QString& path, const QByteArray& bytes = QByteArray());
// The bytes of path; empty when it cannot be read.
QByteArray ReadFile(const QString& path);

// Runs the event loop until done() is true; false after ms milliseconds.
bool WaitFor(const std::function<bool()>& done, int ms);

// Counts the messages of one number sent or posted to it.
class MessageCounter : public MessageWindow<QObject> {
public:
    explicit MessageCounter(std::uint32_t message)
        : message_(message)
    { }
    int count = 0;

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM, LPARAM, bool& handled) override
    {
        handled = message == message_;
        if (handled)
            ++count;
        return 0;
    }

private:
    std::uint32_t message_;
};
