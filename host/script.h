// Script mode of the host: commands that drive the editor as a user would,
// one per line ("#" starts a comment; arguments with spaces are quoted).
// The commands run from a UI-thread timer, so they go on while a modal loop
// runs (a dialog, a menu): a command that opens one returns when it closes,
// and the next commands drive it meanwhile.
//
// TARGET is frame, host, or the object name or class name of a window or
// object inside the editor, the host or a dialog; TARGET/ID names a control
// inside it by object name or control id. A TARGET that matches nothing
// fails the script at that line.
//
//   add PATH                         hand PATH to AddMovieList
//   clip PATH IN LENGTH              send the timeline a clip of PATH from IN
//                                    for LENGTH ms, as the source preview does
//   registry set KEY NAME VALUE      write the text VALUE as NAME of SOFTWARE\KEY
//   registry delete KEY NAME         delete the value NAME of SOFTWARE\KEY
//   message TARGET MSG WPARAM LPARAM send message MSG to TARGET; a WPARAM or
//                                    LPARAM that is not a number is a text
//                                    passed as the address of a QString
//   click|dblclick|rclick|hover TARGET [X Y]
//                                    the mouse at X Y of TARGET (its centre
//                                    without them)
//   key TARGET KEYS                  press KEYS on TARGET ("Space", "Ctrl+A",
//                                    "Return, Escape")
//   drag TARGET X1 Y1 X2 Y2 [MODS]   drag with the left button; MODS like
//                                    shift or ctrl+alt
//   trim TARGET LEFT RIGHT           drag the marks of the range slider TARGET
//                                    to LEFT and RIGHT seconds
//   select TARGET ITEM               pick ITEM (text or row) in a combo box,
//                                    tab bar or list
//   menu KEY                         pick an item of the open popup menu (object
//                                    name, text, command id or @SECTION/KEY)
//   drop TARGET PATH...              drop files on TARGET
//   answer RESULT                    queue a dialog answer: OK, CANCEL, YES, NO
//                                    or a number
//   answer-path PATH...              queue a file dialog answer
//   answer-cancel                    queue a cancelled file dialog
//   modal-timeout MS                 longest wait for an unanswered modal dialog
//   wait MS                          let the editor run for MS milliseconds
//   wait-for dialog [MS]             until a dialog or popup menu is open
//   wait-for closed TARGET [MS]      until no shown window matches TARGET
//   wait-for property TARGET NAME VALUE [MS]
//                                    until TARGET's property NAME is VALUE (a
//                                    number: at least VALUE)
//   wait-for idle [MS]               until 100 ms pass with no event but timers
//                                    (MS: fail after that long; 10000)
//   screenshot PNG [TARGET]          save the window (or TARGET)
//   state FILE                       write what the editor shows as JSON
//   create / destroy                 call Create / DestroyBtn again
//   expect-status [TEXT]             fail unless the status line shows TEXT
//   expect-dialog TEXT|@SECTION/KEY  fail unless a dialog showed TEXT (or the
//                                    text of KEY in the running language)
//   expect-file PATH                 fail unless PATH exists
//   quit                             end (also the end of the script)
//
// Queued answers go to the dialog service: a dialog the script drives with
// clicks must have none queued, or its modal run takes the answer instead.
// Unanswered dialogs get their first button (a self-closing message 2) and
// are logged.
#pragma once

#include "platform/ui_stall_meter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

class Component;
class HostWindow;
class ScriptedDialogService;
class QTextStream;
class QDialog;
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

class ScriptRunner : public QObject {
public:
    ScriptRunner(Component& component, HostWindow& window, ScriptedDialogService& dialogs, QTextStream& log);
    ~ScriptRunner() override;

    // Starts the commands; done gets the exit status (0 after quit or at the
    // end, 1 at the first failing command) once the script ends.
    void start(const QList<ScriptCommand>& commands, std::function<void(int)> done);
    // Runs the commands in an event loop of its own; returns the exit status.
    int run(const QList<ScriptCommand>& commands);
    // Saves the window to a PNG file.
    static bool saveScreenshot(QWidget& window, const QString& path, QString* error);
    // Runs the event loop for ms milliseconds.
    static void wait(int ms);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What holds the script before its next command.
    struct Hold {
        enum Kind { None, Time, Dialog, Closed, Idle, Property } kind = None;
        QString target;
        QString name; // of the property
        QString value;
        int line = 0;
        QElapsedTimer since;
        qint64 ms = 0;
    };
    // A dialog window seen open, and how it ended.
    struct DialogWindow {
        QPointer<QWidget> window;
        QString className;
        QString name;
        QString title;
        QString text;
        std::optional<int> result;
    };

    void schedule(int ms);
    void step();
    // Whether the hold still keeps the script; fails the script when a
    // wait-for runs out of time.
    bool holding();
    void finish(int status);
    bool execute(const ScriptCommand& c, bool& quit, QString* error);
    bool sendMessage(const ScriptCommand& c, QString* error);
    bool sendClip(const ScriptCommand& c, QString* error);
    bool editRegistry(const ScriptCommand& c, QString* error);
    QObject* target(const QString& name, QString* error);
    QWidget* widgetTarget(const QString& name, QString* error);
    bool input(const ScriptCommand& c, QString* error);
    bool expectDialog(const QString& expected, QString* error);
    QString lookup(const QString& sectionKey) const;
    bool writeState(const QString& path, QString* error);
    void watchDialog(QDialog* dialog);
    std::intptr_t param(const QString& text);
    void logNewDialogs();

    Component& component_;
    HostWindow& window_;
    ScriptedDialogService& dialogs_;
    QTextStream& log_;
    std::deque<QString> texts_; // texts passed by address stay alive for the run
    std::size_t dialogsLogged_ = 0;
    ModalGuard guard_;
    UiStallMeter meter_;
    QList<ScriptCommand> commands_;
    qsizetype next_ = 0;
    std::function<void(int)> done_;
    bool finished_ = false;
    bool scheduled_ = false;
    Hold hold_;
    QElapsedTimer lastBusy_; // the last event other than a timer's
    std::vector<DialogWindow> windows_;
    QJsonArray results_; // of the messages sent
};
