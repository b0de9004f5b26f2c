#include "script.h"

#include "component.h"
#include "host_window.h"
#include "platform/messages.h"
#include "resource_tables.h"
#include "skin/scripted_dialog_service.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

namespace {

struct Arity {
    int min;
    int max; // -1: the rest of the line
};

const QHash<QString, Arity>& commandTable()
{
    static const QHash<QString, Arity> table = {
        { "add", { 1, 1 } },
        { "message", { 4, 4 } },
        { "answer", { 1, 1 } },
        { "answer-path", { 1, 1 } },
        { "answer-cancel", { 0, 0 } },
        { "modal-timeout", { 1, 1 } },
        { "wait", { 1, 1 } },
        { "screenshot", { 1, 1 } },
        { "create", { 0, 0 } },
        { "destroy", { 0, 0 } },
        { "expect-status", { 0, -1 } },
        { "expect-dialog", { 1, -1 } },
        { "expect-file", { 1, 1 } },
        { "quit", { 0, 0 } },
    };
    return table;
}

QString kindName(DialogKind k)
{
    switch (k) {
    case DialogKind::MessageBox:
        return "message-box";
    case DialogKind::SkinnedMessage:
        return "skinned-message";
    case DialogKind::SaveFile:
        return "save-file";
    case DialogKind::OpenFile:
        return "open-file";
    case DialogKind::Modal:
        return "modal";
    }
    return "dialog";
}

} // namespace

std::optional<qint64> ParseScriptNumber(const QString& text)
{
    bool ok = false;
    QString t = text.trimmed();
    const bool negative = t.startsWith('-');
    if (negative)
        t = t.mid(1);
    qint64 v = 0;
    if (t.startsWith("0x", Qt::CaseInsensitive))
        v = t.mid(2).toLongLong(&ok, 16);
    else
        v = t.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return negative ? -v : v;
}

std::optional<int> ParseDialogResult(const QString& text)
{
    const QString t = text.toUpper();
    if (t == "OK" || t == "IDOK")
        return IDOK;
    if (t == "CANCEL" || t == "IDCANCEL")
        return IDCANCEL;
    if (t == "YES" || t == "IDYES")
        return IDYES;
    if (t == "NO" || t == "IDNO")
        return IDNO;
    if (auto n = ParseScriptNumber(text))
        return int(*n);
    return std::nullopt;
}

std::optional<QList<ScriptCommand>> ParseScript(const QString& text, QString* error)
{
    QList<ScriptCommand> out;
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QStringList words = QProcess::splitCommand(line);
        if (words.isEmpty())
            continue;
        ScriptCommand c;
        c.line = int(i + 1);
        c.name = words.takeFirst().toLower();
        c.args = words;
        const auto it = commandTable().constFind(c.name);
        auto fail = [&](const QString& why) -> std::optional<QList<ScriptCommand>> {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(c.line).arg(why);
            return std::nullopt;
        };
        if (it == commandTable().cend())
            return fail(QStringLiteral("unknown command \"%1\"").arg(c.name));
        if (c.args.size() < it->min || (it->max >= 0 && c.args.size() > it->max))
            return fail(QStringLiteral("wrong number of arguments for \"%1\"").arg(c.name));
        if ((c.name == "wait" || c.name == "modal-timeout") && !ParseScriptNumber(c.args[0]))
            return fail(QStringLiteral("\"%1\" is not a number").arg(c.args[0]));
        if (c.name == "answer" && !ParseDialogResult(c.args[0]))
            return fail(QStringLiteral("\"%1\" is not a dialog result").arg(c.args[0]));
        if (c.name == "message" && !ParseScriptNumber(c.args[1]))
            return fail(QStringLiteral("\"%1\" is not a message number").arg(c.args[1]));
        out << c;
    }
    return out;
}

ModalGuard::ModalGuard(QTextStream& log)
    : log_(log)
{
    QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
    timer_.start(200);
}

void ModalGuard::check()
{
    QHash<QWidget*, QElapsedTimer> still;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || !dialog->isModal())
            continue;
        auto* box = qobject_cast<QMessageBox*>(dialog);
        const bool immediate = box || qobject_cast<QFileDialog*>(dialog);
        QElapsedTimer since = open_.value(dialog);
        if (!since.isValid())
            since.start();
        if (!immediate && since.elapsed() < timeoutMs_) {
            still.insert(dialog, since);
            continue;
        }
        QString text = box ? box->text() : QString();
        text.replace('\n', "\\n");
        const QString entry = dialog->windowTitle() + ": " + text;
        closed_ << entry;
        log_ << "unanswered dialog closed: " << entry << Qt::endl;
        if (box && box->escapeButton())
            box->escapeButton()->click();
        else if (box && box->defaultButton())
            box->defaultButton()->click();
        else
            dialog->reject();
    }
    open_ = still;
}

ScriptRunner::ScriptRunner(Component& component, HostWindow& window, ScriptedDialogService& dialogs, QTextStream& log)
    : component_(component)
    , window_(window)
    , dialogs_(dialogs)
    , log_(log)
    , guard_(log)
{ }

void ScriptRunner::wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
    loop.exec();
}

bool ScriptRunner::saveScreenshot(QWidget& window, const QString& path, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    const QPixmap shot = window.grab();
    if (shot.isNull() || !shot.save(absolute, "PNG")) {
        if (error)
            *error = QStringLiteral("cannot save the screenshot %1").arg(absolute);
        return false;
    }
    return true;
}

int ScriptRunner::run(const QList<ScriptCommand>& commands)
{
    for (const ScriptCommand& c : commands) {
        log_ << "> " << c.name << (c.args.isEmpty() ? "" : " ") << c.args.join(' ') << Qt::endl;
        bool quit = false;
        QString error;
        const bool ok = execute(c, quit, &error);
        logNewDialogs();
        if (!ok) {
            log_ << "script line " << c.line << ": " << error << Qt::endl;
            return 1;
        }
        if (quit)
            break;
    }
    return 0;
}

void ScriptRunner::logNewDialogs()
{
    const auto records = dialogs_.records();
    for (std::size_t i = dialogsLogged_; i < records.size(); ++i) {
        const auto& r = records[i];
        QString text = r.text;
        text.replace('\n', "\\n");
        log_ << "dialog: " << kindName(r.kind) << " \"" << r.title << "\" \"" << text << "\"" << Qt::endl;
    }
    dialogsLogged_ = records.size();
}

std::intptr_t ScriptRunner::param(const QString& text)
{
    if (auto n = ParseScriptNumber(text))
        return std::intptr_t(*n);
    texts_.push_back(text);
    return ToLParam(&texts_.back());
}

bool ScriptRunner::sendMessage(const ScriptCommand& c, QString* error)
{
    const QString& name = c.args[0];
    QObject* target = nullptr;
    if (name == "frame") {
        target = component_.editor();
    } else if (name == "host") {
        target = &window_;
    } else if (QWidget* editor = component_.editor()) {
        const auto children = editor->findChildren<QObject*>();
        for (QObject* o : children) {
            if (o->objectName() == name || QLatin1String(o->metaObject()->className()) == name) {
                target = o;
                break;
            }
        }
    }
    if (!target) {
        *error = QStringLiteral("no message target \"%1\"").arg(name);
        return false;
    }
    const auto number = std::uint32_t(*ParseScriptNumber(c.args[1]));
    const auto w = WPARAM(param(c.args[2]));
    const auto l = LPARAM(param(c.args[3]));
    // Sent as SendMessage does (the target lives on this thread), keeping the
    // event to tell whether anybody handled it.
    MessageEvent event(number, w, l);
    QCoreApplication::sendEvent(target, &event);
    log_ << "result: " << qlonglong(event.result()) << (event.handled() ? "" : " (not handled)") << Qt::endl;
    return true;
}

bool ScriptRunner::execute(const ScriptCommand& c, bool& quit, QString* error)
{
    const QString a0 = c.args.value(0);
    if (c.name == "add") {
        if (!component_.editor()) {
            *error = "no editor to add to";
            return false;
        }
        component_.addMovieList(QFileInfo(a0).absoluteFilePath());
    } else if (c.name == "message") {
        return sendMessage(c, error);
    } else if (c.name == "answer") {
        dialogs_.pushResult(*ParseDialogResult(a0));
    } else if (c.name == "answer-path") {
        dialogs_.pushPath(QFileInfo(a0).absoluteFilePath());
    } else if (c.name == "answer-cancel") {
        dialogs_.pushCancel();
    } else if (c.name == "modal-timeout") {
        dialogs_.setModalTimeout(int(*ParseScriptNumber(a0)));
        guard_.setTimeout(int(*ParseScriptNumber(a0)));
    } else if (c.name == "wait") {
        wait(int(*ParseScriptNumber(a0)));
    } else if (c.name == "screenshot") {
        return saveScreenshot(window_, a0, error);
    } else if (c.name == "create") {
        QWidget* editor = component_.create(HostTextLookup, HostImageLookup, window_.editorParent());
        if (!editor) {
            *error = "Create failed";
            return false;
        }
        window_.setEditor(editor);
    } else if (c.name == "destroy") {
        component_.destroy();
    } else if (c.name == "expect-status") {
        const QString expected = c.args.join(' ');
        if (window_.statusText() != expected) {
            *error = QStringLiteral("status line is \"%1\", expected \"%2\"").arg(window_.statusText(), expected);
            return false;
        }
    } else if (c.name == "expect-dialog") {
        const QString expected = c.args.join(' ');
        for (const auto& r : dialogs_.records()) {
            if (r.text.contains(expected) || r.title.contains(expected))
                return true;
        }
        for (const QString& entry : guard_.closed()) {
            if (entry.contains(expected))
                return true;
        }
        *error = QStringLiteral("no dialog showed \"%1\"").arg(expected);
        return false;
    } else if (c.name == "expect-file") {
        if (!QFileInfo::exists(a0)) {
            *error = QStringLiteral("%1 does not exist").arg(a0);
            return false;
        }
    } else if (c.name == "quit") {
        quit = true;
    }
    return true;
}
