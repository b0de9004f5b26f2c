// Script mode of the host: commands that drive the editor as a user would,
// one per line ("#" starts a comment; arguments with spaces are quoted).
//
//   add PATH                         hand PATH to AddMovieList
//   message TARGET MSG WPARAM LPARAM send message MSG into the editor; TARGET is
//                                    frame, host, or the object name or class
//                                    of a window inside the editor; a WPARAM or
//                                    LPARAM that is not a number is a text passed
//                                    as the address of a QString
//   answer RESULT                    queue a dialog answer: OK, CANCEL, YES, NO
//                                    or a number
//   answer-path PATH                 queue a file dialog answer
//   answer-cancel                    queue a cancelled file dialog
//   modal-timeout MS                 longest wait for an unanswered modal dialog
//   wait MS                          let the editor run for MS milliseconds
//   screenshot PNG                   save the window
//   create / destroy                 call Create / DestroyBtn again
//   expect-status [TEXT]             fail unless the status line shows TEXT
//   expect-dialog TEXT               fail unless a dialog showed TEXT so far
//   expect-file PATH                 fail unless PATH exists
//   quit                             end (also the end of the script)
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <optional>

class Component;
class HostWindow;
class ScriptedDialogService;
class QTextStream;
class QWidget;

struct ScriptCommand {
    int line = 0;
    QString name;
    QStringList args;
};

// Parses and checks the script text; empty optional with the message in error.
std::optional<QList<ScriptCommand>> ParseScript(const QString& text, QString* error);

// A number as written in a script: decimal, or hexadecimal with 0x.
std::optional<qint64> ParseScriptNumber(const QString& text);
// A dialog result: OK, CANCEL, YES, NO (any case) or a number.
std::optional<int> ParseDialogResult(const QString& text);

// Keeps a script from hanging on a dialog that the scripted dialog service
// does not answer (a component that shows its own): message boxes and file
// dialogs are closed at once (with their escape button, or cancelled), any
// other modal dialog after the modal timeout. Each one is logged.
class ModalGuard {
public:
    explicit ModalGuard(QTextStream& log);
    void setTimeout(int ms) { timeoutMs_ = ms; }
    // "title: text" of every dialog closed so far.
    QStringList closed() const { return closed_; }

private:
    void check();

    QTextStream& log_;
    QTimer timer_;
    QHash<QWidget*, QElapsedTimer> open_;
    QStringList closed_;
    int timeoutMs_ = 120000; // as the scripted dialog service
};

class ScriptRunner {
public:
    ScriptRunner(Component& component, HostWindow& window, ScriptedDialogService& dialogs, QTextStream& log);

    // Runs the commands in order; returns the exit status (0 after quit or at
    // the end, 1 at the first failing command).
    int run(const QList<ScriptCommand>& commands);
    // Saves the window to a PNG file.
    static bool saveScreenshot(QWidget& window, const QString& path, QString* error);
    // Runs the event loop for ms milliseconds.
    static void wait(int ms);

private:
    bool execute(const ScriptCommand& c, bool& quit, QString* error);
    bool sendMessage(const ScriptCommand& c, QString* error);
    std::intptr_t param(const QString& text);
    void logNewDialogs();

    Component& component_;
    HostWindow& window_;
    ScriptedDialogService& dialogs_;
    QTextStream& log_;
    std::deque<QString> texts_; // texts passed by address stay alive for the run
    std::size_t dialogsLogged_ = 0;
    ModalGuard guard_;
};
