#include "script.h"

#include "component.h"
#include "host_window.h"
#include "platform/messages.h"
#include "platform/registry_store.h"
#include "project/media_file.h"
#include "resource_tables.h"
#include "script_input.h"
#include "script_recording.h"
#include "script_state.h"
#include "skin/scripted_dialog_service.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QSet>
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
        { "clip", { 3, 3 } },
        { "registry", { 3, 4 } },
        { "message", { 4, 4 } },
        { "click", { 1, 3 } },
        { "dblclick", { 1, 3 } },
        { "rclick", { 1, 3 } },
        { "hover", { 1, 3 } },
        { "key", { 2, -1 } },
        { "drag", { 5, 6 } },
        { "trim", { 3, 3 } },
        { "select", { 2, 2 } },
        { "menu", { 1, 1 } },
        { "drop", { 2, -1 } },
        { "answer", { 1, 1 } },
        { "answer-path", { 1, -1 } },
        { "answer-cancel", { 0, 0 } },
        { "modal-timeout", { 1, 1 } },
        { "wait", { 1, 1 } },
        { "wait-for", { 1, 5 } },
        { "screenshot", { 1, 2 } },
        { "state", { 1, 1 } },
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

const QSet<QString> kMouseCommands = { "click", "dblclick", "rclick", "hover" };
constexpr int kPollMs = 10;
constexpr int kWaitForMs = 10000;
constexpr int kIdleQuietMs = 100;

// The arguments that must be numbers, from the first on.
QStringList numbersOf(const ScriptCommand& c)
{
    if (c.name == "wait" || c.name == "modal-timeout")
        return c.args.mid(0, 1);
    if (c.name == "clip")
        return c.args.mid(1, 2);
    if (kMouseCommands.contains(c.name) && c.args.size() == 3)
        return c.args.mid(1, 2);
    if (c.name == "drag")
        return c.args.mid(1, 4);
    if (c.name == "wait-for") {
        const QString what = c.args[0].toLower();
        return c.args.mid(what == "closed" ? 2 : what == "property" ? 4 : 1, 1);
    }
    return {};
}

// Checks of one command beyond its number of arguments; empty when fine.
QString checkCommand(const ScriptCommand& c)
{
    for (const QString& n : numbersOf(c)) {
        if (!ParseScriptNumber(n))
            return QStringLiteral("\"%1\" is not a number").arg(n);
    }
    // dblclick TARGET ITEM double-clicks an item of a list.
    if (kMouseCommands.contains(c.name) && c.name != "dblclick" && c.args.size() == 2)
        return QStringLiteral("\"%1\" needs both X and Y").arg(c.name);
    if (c.name == "answer" && !ParseDialogResult(c.args[0]))
        return QStringLiteral("\"%1\" is not a dialog result").arg(c.args[0]);
    if (c.name == "message" && !ParseScriptNumber(c.args[1]))
        return QStringLiteral("\"%1\" is not a message number").arg(c.args[1]);
    if (c.name == "key" && !ParseKeys(c.args.mid(1).join(' ')))
        return QStringLiteral("\"%1\" names no key").arg(c.args.mid(1).join(' '));
    for (const QString& n : c.name == "trim" ? c.args.mid(1) : QStringList()) {
        bool ok = false;
        n.toDouble(&ok);
        if (!ok)
            return QStringLiteral("\"%1\" is not a number of seconds").arg(n);
    }
    if (c.name == "drag" && c.args.size() == 6 && !ParseModifiers(c.args[5]))
        return QStringLiteral("\"%1\" is not a set of modifiers").arg(c.args[5]);
    if (c.name == "registry") {
        const QString what = c.args[0].toLower();
        if ((what != "set" || c.args.size() != 4) && (what != "delete" || c.args.size() != 3))
            return QStringLiteral("registry takes set KEY NAME VALUE or delete KEY NAME");
    }
    if (c.name == "wait-for") {
        const QString what = c.args[0].toLower();
        const int most = what == "closed" ? 3 : what == "property" ? 5 : 2;
        if ((what != "dialog" && what != "closed" && what != "idle" && what != "property") || c.args.size() > most
            || (what == "closed" && c.args.size() < 2) || (what == "property" && c.args.size() < 4))
            return QStringLiteral(
                "wait-for takes dialog [MS], closed TARGET [MS], idle [MS] or property TARGET NAME VALUE [MS]");
    }
    return QString();
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
        if (const QString why = checkCommand(c); !why.isEmpty())
            return fail(why);
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
{
    lastBusy_.start();
    qApp->installEventFilter(this);
    RegisterMediaStateSections();
    RegisterRecordingStateSection();
}

ScriptRunner::~ScriptRunner()
{
    qApp->removeEventFilter(this);
}

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

void ScriptRunner::start(const QList<ScriptCommand>& commands, std::function<void(int)> done)
{
    commands_ = commands;
    next_ = 0;
    done_ = std::move(done);
    finished_ = false;
    hold_ = Hold();
    meter_.reset();
    schedule(0);
}

int ScriptRunner::run(const QList<ScriptCommand>& commands)
{
    int status = -1;
    QEventLoop loop;
    start(commands, [&](int s) {
        status = s;
        loop.quit();
    });
    loop.exec();
    return status;
}

void ScriptRunner::schedule(int ms)
{
    if (scheduled_ || finished_)
        return;
    scheduled_ = true;
    // A timer of its own each time: a timer does not fire again while its
    // handler runs, and a command's handler may sit in a modal loop.
    QTimer::singleShot(ms, this, [this] {
        scheduled_ = false;
        step();
    });
}

void ScriptRunner::step()
{
    if (finished_ || holding())
        return;
    if (next_ >= commands_.size()) {
        finish(0);
        return;
    }
    const ScriptCommand c = commands_[next_++];
    log_ << "> " << c.name << (c.args.isEmpty() ? "" : " ") << c.args.join(' ') << Qt::endl;
    // Scheduled before the command runs, so that the script goes on when the
    // command opens a modal loop.
    schedule(0);
    bool quit = false;
    QString error;
    const bool ok = execute(c, quit, &error);
    logNewDialogs();
    if (!ok) {
        log_ << "script line " << c.line << ": " << error << Qt::endl;
        finish(1);
    } else if (quit) {
        finish(0);
    }
}

bool ScriptRunner::holding()
{
    if (hold_.kind == Hold::None)
        return false;
    const TargetScope scope { component_.editor(), &window_ };
    bool met = false;
    switch (hold_.kind) {
    case Hold::None:
        break;
    case Hold::Time:
        met = hold_.since.elapsed() >= hold_.ms;
        break;
    case Hold::Dialog: {
        met = QApplication::activePopupWidget() != nullptr;
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows)
            met = met || (w->isVisible() && qobject_cast<QDialog*>(w));
        break;
    }
    case Hold::Closed:
        met = !FindTarget(scope, hold_.target, true);
        break;
    case Hold::Property:
        if (const QObject* o = FindTarget(scope, hold_.target, true)) {
            const QVariant v = o->property(hold_.name.toUtf8().constData());
            const auto number = ParseScriptNumber(hold_.value);
            met = v.isValid() && (number ? v.toLongLong() >= *number : v.toString() == hold_.value);
        }
        break;
    case Hold::Idle:
        met = lastBusy_.elapsed() >= kIdleQuietMs;
        break;
    }
    if (met) {
        hold_ = Hold();
        return false;
    }
    if (hold_.kind != Hold::Time && hold_.since.elapsed() >= hold_.ms) {
        log_ << "script line " << hold_.line << ": "
             << "still waiting after " << hold_.ms << " ms" << Qt::endl;
        finish(1);
        return true;
    }
    schedule(kPollMs);
    return true;
}

void ScriptRunner::finish(int status)
{
    if (finished_)
        return;
    finished_ = true;
    if (done_)
        done_(status);
}

bool ScriptRunner::eventFilter(QObject* watched, QEvent* event)
{
    // Single-shot timers come and go as children of the event dispatcher.
    if (watched == QAbstractEventDispatcher::instance())
        return false;
    switch (event->type()) {
    case QEvent::Timer:
    case QEvent::ZeroTimerEvent:
    case QEvent::DeferredDelete: // of the script's own single-shot timers
        break;
    case QEvent::Show:
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow())
            watchDialog(dialog);
        lastBusy_.start();
        break;
    default:
        lastBusy_.start();
        break;
    }
    return false;
}

void ScriptRunner::watchDialog(QDialog* dialog)
{
    for (const DialogWindow& w : windows_) {
        if (w.window == dialog && !w.result)
            return;
    }
    DialogWindow w;
    w.window = dialog;
    w.className = QLatin1String(dialog->metaObject()->className());
    w.name = dialog->objectName();
    w.title = dialog->windowTitle();
    QStringList texts;
    const auto labels = dialog->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (!label->text().isEmpty())
            texts << label->text();
    }
    w.text = texts.join('\n');
    windows_.push_back(w);
    log_ << "dialog window: " << w.className << " \"" << w.title << "\"" << Qt::endl;
    const std::size_t index = windows_.size() - 1;
    connect(dialog, &QDialog::finished, this, [this, index](int result) {
        if (!windows_[index].result)
            windows_[index].result = result;
    });
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

QObject* ScriptRunner::target(const QString& name, QString* error)
{
    QObject* o = FindTarget({ component_.editor(), &window_ }, name);
    if (!o)
        *error = QStringLiteral("no target \"%1\"").arg(name);
    return o;
}

QWidget* ScriptRunner::widgetTarget(const QString& name, QString* error)
{
    QObject* o = target(name, error);
    auto* w = qobject_cast<QWidget*>(o);
    if (o && !w)
        *error = QStringLiteral("the target \"%1\" is no window").arg(name);
    return w;
}

QString ScriptRunner::lookup(const QString& sectionKey) const
{
    const QString path = sectionKey.mid(1);
    const int slash = int(path.indexOf('/'));
    return slash < 0 ? QString() : HostTextLookup(path.left(slash), path.mid(slash + 1));
}

bool ScriptRunner::sendMessage(const ScriptCommand& c, QString* error)
{
    QObject* to = target(c.args[0], error);
    if (!to)
        return false;
    const auto number = std::uint32_t(*ParseScriptNumber(c.args[1]));
    const auto w = WPARAM(param(c.args[2]));
    const auto l = LPARAM(param(c.args[3]));
    // Sent as SendMessage does (the target lives on this thread), keeping the
    // event to tell whether anybody handled it.
    MessageEvent event(number, w, l);
    QCoreApplication::sendEvent(to, &event);
    log_ << "result: " << qlonglong(event.result()) << (event.handled() ? "" : " (not handled)") << Qt::endl;
    results_.append(QJsonObject { { "line", c.line }, { "target", c.args[0] }, { "message", c.args[1] },
        { "result", qint64(event.result()) }, { "handled", event.handled() } });
    return true;
}

bool ScriptRunner::sendClip(const ScriptCommand& c, QString* error)
{
    if (!component_.editor()) {
        *error = "no editor to send the clip to";
        return false;
    }
    // The record the source preview's send button makes: the file, its kind
    // by its ending, the used part in whole milliseconds.
    CMediaFile clip;
    if (!clip.SetFile(QFileInfo(c.args[0]).absoluteFilePath())) {
        *error = QStringLiteral("no clip of \"%1\"").arg(c.args[0]);
        return false;
    }
    const auto in = std::uint32_t(*ParseScriptNumber(c.args[1]));
    const auto length = std::uint32_t(*ParseScriptNumber(c.args[2]));
    clip.SetTimes(in, length, std::max(clip.sourceLength(), in + length));
    MessageEvent event(msg::ClipToTimeline, 0, ToLParam(&clip));
    QCoreApplication::sendEvent(component_.editor(), &event);
    log_ << "result: " << qlonglong(event.result()) << (event.handled() ? "" : " (not handled)") << Qt::endl;
    return true;
}

bool ScriptRunner::editRegistry(const ScriptCommand& c, QString* error)
{
    // The editor reads its values afresh at each use: a change shows at once.
    RegistryStore& store = RegistryStore::instance();
    const QString key = QStringLiteral("SOFTWARE\\") + c.args[1];
    const bool set = c.args[0].toLower() == "set";
    const bool ok = set ? store.createKey(RegHive::LocalMachine, key)
            && store.writeValue(RegHive::LocalMachine, key, c.args[2], RegistryStore::stringValue(c.args[3]))
                        : store.deleteValue(RegHive::LocalMachine, key, c.args[2]);
    if (!ok)
        *error = QStringLiteral("cannot %1 %2 of %3 in %4").arg(c.args[0], c.args[2], key, store.path());
    return ok;
}

bool ScriptRunner::input(const ScriptCommand& c, QString* error)
{
    if (c.name == "menu")
        return PickMenuItem(
            c.args[0], [this](const QString& key) { return lookup(key); }, error);
    QPointer<QWidget> w = widgetTarget(c.args[0], error);
    if (!w)
        return false;
    if (!w->isEnabled())
        log_ << "note: " << c.args[0] << " is disabled" << Qt::endl;
    auto number = [&](int i) { return int(*ParseScriptNumber(c.args[i])); };
    if (kMouseCommands.contains(c.name)) {
        static const QHash<QString, MouseAction> actions
            = { { "click", MouseAction::Click }, { "dblclick", MouseAction::DoubleClick },
                  { "rclick", MouseAction::RightClick }, { "hover", MouseAction::Hover } };
        if (c.args.size() == 2)
            return DoubleClickItem(w, c.args[1], error);
        std::optional<QPoint> at;
        if (c.args.size() == 3)
            at = QPoint(number(1), number(2));
        SendMouse(w, actions.value(c.name), at);
    } else if (c.name == "key") {
        SendKeys(w, *ParseKeys(c.args.mid(1).join(' ')));
    } else if (c.name == "drag") {
        const auto modifiers = c.args.size() == 6 ? *ParseModifiers(c.args[5]) : Qt::KeyboardModifiers();
        SendDrag(w, QPoint(number(1), number(2)), QPoint(number(3), number(4)), modifiers);
    } else if (c.name == "trim") {
        return DragMarksTo(w, c.args[1].toDouble(), c.args[2].toDouble(), error);
    } else if (c.name == "select") {
        return SelectItem(w, c.args[1], error);
    } else if (c.name == "drop") {
        QStringList paths;
        for (const QString& p : c.args.mid(1))
            paths << QFileInfo(p).absoluteFilePath();
        log_ << (SendDrop(w, paths) ? "drop accepted" : "drop refused") << Qt::endl;
    }
    return true;
}

bool ScriptRunner::expectDialog(const QString& expected, QString* error)
{
    QString text = expected;
    if (expected.startsWith('@')) {
        text = lookup(expected);
        if (text.isEmpty()) {
            *error = QStringLiteral("no text for %1").arg(expected);
            return false;
        }
    }
    for (const auto& r : dialogs_.records()) {
        if (r.text.contains(text) || r.title.contains(text))
            return true;
    }
    for (const QString& entry : guard_.closed()) {
        if (entry.contains(text))
            return true;
    }
    for (const DialogWindow& w : windows_) {
        if (w.title.contains(text) || w.text.contains(text))
            return true;
    }
    *error = QStringLiteral("no dialog showed \"%1\"").arg(text);
    return false;
}

bool ScriptRunner::writeState(const QString& path, QString* error)
{
    QJsonArray requests;
    for (const auto& r : dialogs_.records()) {
        requests.append(QJsonObject { { "kind", kindName(r.kind) }, { "title", r.title }, { "text", r.text },
            { "type", int(r.type) }, { "selfClosing", r.selfClosing } });
    }
    QJsonArray windows;
    for (const DialogWindow& w : windows_) {
        windows.append(QJsonObject { { "class", w.className }, { "name", w.name }, { "title", w.title },
            { "text", w.text }, { "open", !w.result && w.window && w.window->isVisible() },
            { "result", w.result ? QJsonValue(*w.result) : QJsonValue() } });
    }
    QJsonObject state { { "dialogs", requests }, { "dialogWindows", windows },
        { "unanswered", QJsonArray::fromStringList(guard_.closed()) }, { "results", results_ },
        { "uiStallMaxMs", meter_.longestMs() } };
    AddRegisteredStateSections({ component_.editor(), &window_ }, state);
    return WriteStateFile(path, state, error);
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
    } else if (c.name == "clip") {
        return sendClip(c, error);
    } else if (c.name == "registry") {
        return editRegistry(c, error);
    } else if (c.name == "message") {
        return sendMessage(c, error);
    } else if (kMouseCommands.contains(c.name) || c.name == "key" || c.name == "drag" || c.name == "trim"
        || c.name == "select" || c.name == "menu" || c.name == "drop") {
        return input(c, error);
    } else if (c.name == "answer") {
        dialogs_.pushResult(*ParseDialogResult(a0));
    } else if (c.name == "answer-path") {
        QStringList paths;
        for (const QString& p : c.args)
            paths << QFileInfo(p).absoluteFilePath();
        dialogs_.pushPaths(paths);
    } else if (c.name == "answer-cancel") {
        dialogs_.pushCancel();
    } else if (c.name == "modal-timeout") {
        dialogs_.setModalTimeout(int(*ParseScriptNumber(a0)));
        guard_.setTimeout(int(*ParseScriptNumber(a0)));
    } else if (c.name == "wait" || c.name == "wait-for") {
        const QString what = a0.toLower();
        hold_ = Hold();
        hold_.line = c.line;
        hold_.since.start();
        hold_.ms = kWaitForMs;
        if (c.name == "wait") {
            hold_.kind = Hold::Time;
            hold_.ms = *ParseScriptNumber(a0);
        } else if (what == "closed") {
            hold_.kind = Hold::Closed;
            hold_.target = c.args[1];
            if (c.args.size() > 2)
                hold_.ms = *ParseScriptNumber(c.args[2]);
        } else if (what == "property") {
            hold_.kind = Hold::Property;
            hold_.target = c.args[1];
            hold_.name = c.args[2];
            hold_.value = c.args[3];
            if (c.args.size() > 4)
                hold_.ms = *ParseScriptNumber(c.args[4]);
        } else {
            hold_.kind = what == "idle" ? Hold::Idle : Hold::Dialog;
            if (c.args.size() > 1)
                hold_.ms = *ParseScriptNumber(c.args[1]);
        }
    } else if (c.name == "screenshot") {
        QWidget* shown = &window_;
        if (c.args.size() > 1 && !(shown = widgetTarget(c.args[1], error)))
            return false;
        return saveScreenshot(*shown, a0, error);
    } else if (c.name == "state") {
        return writeState(a0, error);
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
        return expectDialog(c.args.join(' '), error);
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
