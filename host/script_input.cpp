#include "script_input.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

#include <algorithm>
#include <cmath>

// Qt Gui's entry to its shortcut map, exported for its test library: a key
// that is a shortcut triggers it instead of reaching the widget, as a key
// from the keyboard does.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(
    QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods, const QString& text, bool autorep, ushort count);

namespace {

constexpr int kDragSteps = 8;

// The widget the mouse was last over, to give it its leave event.
QPointer<QWidget> g_underMouse;

bool NameMatches(const QObject* o, const QString& name)
{
    return o->objectName() == name || QLatin1String(o->metaObject()->className()) == name;
}

bool IdMatches(const QObject* o, const QString& id)
{
    if (o->objectName() == id)
        return true;
    bool isNumber = false;
    const int number = id.startsWith("0x", Qt::CaseInsensitive) ? id.mid(2).toInt(&isNumber, 16) : id.toInt(&isNumber);
    const QVariant controlId = o->property("controlId");
    return isNumber && controlId.isValid() && controlId.toInt() == number;
}

bool Shown(const QObject* o)
{
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isVisible();
}

// Visible widgets first, then every other match; roots before descendants.
QObject* Pick(const QList<QObject*>& candidates, bool shownOnly)
{
    for (QObject* o : candidates) {
        if (Shown(o))
            return o;
    }
    return shownOnly || candidates.isEmpty() ? nullptr : candidates.first();
}

QList<QObject*> Roots(const TargetScope& scope)
{
    QList<QObject*> roots;
    if (scope.frame)
        roots << scope.frame;
    if (scope.host)
        roots << scope.host;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (!roots.contains(w))
            roots << w;
    }
    return roots;
}

QPoint WindowPos(QWidget* w, QPoint local)
{
    return w->window() == w ? local : w->mapTo(w->window(), local);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons,
    Qt::KeyboardModifiers modifiers)
{
    QMouseEvent e(type, local, WindowPos(w, local), w->mapToGlobal(local), button, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

// Enter and leave events as the mouse moves onto w.
void MoveOnto(QWidget* w, QPoint local)
{
    if (g_underMouse == w)
        return;
    if (g_underMouse) {
        g_underMouse->setAttribute(Qt::WA_UnderMouse, false);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(g_underMouse, &leave);
    }
    g_underMouse = w;
    w->setAttribute(Qt::WA_UnderMouse, true);
    QEnterEvent enter(local, WindowPos(w, local), w->mapToGlobal(local));
    QApplication::sendEvent(w, &enter);
}

// The topmost visible widget at p of target, and p in its coordinates.
QWidget* WidgetAt(QWidget* target, QPoint p, QPoint* local)
{
    QWidget* w = target->childAt(p);
    if (!w)
        w = target;
    *local = w->mapFrom(target, p);
    return w;
}

QString KeyText(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QString();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Escape:
        return QString(QChar(0x1b));
    case Qt::Key_Backspace:
        return QStringLiteral("\b");
    default:
        break;
    }
    if (key < 0x20 || key > 0xff)
        return QString();
    const QChar c(key);
    return modifiers & Qt::ShiftModifier ? QString(c.toUpper()) : QString(c.toLower());
}

QString PlainText(QString text)
{
    const int tab = int(text.indexOf('\t'));
    if (tab >= 0)
        text.truncate(tab);
    return text.remove('&');
}

} // namespace

QObject* FindTarget(const TargetScope& scope, const QString& target, bool shownOnly)
{
    const int slash = int(target.indexOf('/'));
    const QString name = slash < 0 ? target : target.left(slash);
    const QString id = slash < 0 ? QString() : target.mid(slash + 1);
    QList<QObject*> named;
    if (name == "frame" && scope.frame) {
        named << scope.frame;
    } else if (name == "host" && scope.host) {
        named << scope.host;
    } else {
        const QList<QObject*> roots = Roots(scope);
        for (QObject* root : roots) {
            if (NameMatches(root, name) && !named.contains(root))
                named << root;
        }
        for (QObject* root : roots) {
            const auto children = root->findChildren<QObject*>();
            for (QObject* o : children) {
                if (NameMatches(o, name) && !named.contains(o))
                    named << o;
            }
        }
    }
    if (id.isEmpty())
        return Pick(named, shownOnly);
    // The named objects that are shown come first, so a control is looked
    // for in the open dialog before a hidden one of the same class.
    std::stable_partition(named.begin(), named.end(), [](QObject* o) { return Shown(o); });
    QList<QObject*> controls;
    for (QObject* parent : std::as_const(named)) {
        // A window of that class may carry the id itself (the track views).
        if (IdMatches(parent, id) && !controls.contains(parent))
            controls << parent;
        const auto children = parent->findChildren<QObject*>();
        for (QObject* o : children) {
            if (IdMatches(o, id))
                controls << o;
        }
    }
    return Pick(controls, shownOnly);
}

std::optional<Qt::KeyboardModifiers> ParseModifiers(const QString& text)
{
    Qt::KeyboardModifiers m;
    const QStringList parts = text.toLower().split('+', Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (p == "shift")
            m |= Qt::ShiftModifier;
        else if (p == "ctrl" || p == "control")
            m |= Qt::ControlModifier;
        else if (p == "alt")
            m |= Qt::AltModifier;
        else if (p == "meta")
            m |= Qt::MetaModifier;
        else
            return std::nullopt;
    }
    return m;
}

std::optional<QKeySequence> ParseKeys(const QString& text)
{
    const QKeySequence keys = QKeySequence::fromString(text, QKeySequence::PortableText);
    if (keys.isEmpty())
        return std::nullopt;
    for (int i = 0; i < keys.count(); ++i) {
        if (keys[i].key() == Qt::Key_unknown)
            return std::nullopt;
    }
    return keys;
}

QWidget* SendMouse(QWidget* target, MouseAction action, std::optional<QPoint> at)
{
    QPoint local;
    QWidget* w = WidgetAt(target, at.value_or(target->rect().center()), &local);
    QPointer<QWidget> alive(w);
    MoveOnto(w, local);
    Mouse(w, QEvent::MouseMove, local, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    switch (action) {
    case MouseAction::Hover:
        if (alive) {
            QHelpEvent tip(QEvent::ToolTip, local, w->mapToGlobal(local));
            QApplication::sendEvent(w, &tip);
        }
        break;
    case MouseAction::Click:
    case MouseAction::DoubleClick:
        Mouse(w, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        if (alive)
            Mouse(w, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        if (action == MouseAction::DoubleClick && alive) {
            Mouse(w, QEvent::MouseButtonDblClick, local, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            if (alive)
                Mouse(w, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        }
        break;
    case MouseAction::RightClick:
        Mouse(w, QEvent::MouseButtonPress, local, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        if (alive)
            Mouse(w, QEvent::MouseButtonRelease, local, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        // The context menu comes with the release, as on the system the
        // editor was first written for.
        if (alive) {
            QContextMenuEvent menu(QContextMenuEvent::Mouse, local, w->mapToGlobal(local));
            QApplication::sendEvent(w, &menu);
        }
        break;
    }
    return alive;
}

void SendKeys(QWidget* target, const QKeySequence& keys)
{
    QWidget* w = target->focusProxy() ? target->focusProxy() : target;
    QPointer<QWidget> alive(w);
    w->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < keys.count() && alive; ++i) {
        const int key = keys[i].key();
        const Qt::KeyboardModifiers modifiers = keys[i].keyboardModifiers();
        const QString text = KeyText(key, modifiers);
        const auto now = ulong(QDateTime::currentMSecsSinceEpoch());
        if (!qt_sendShortcutOverrideEvent(w, now, key, modifiers, text, false, 1) && alive) {
            QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
            QApplication::sendEvent(w, &press);
        }
        if (alive) {
            QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
            QApplication::sendEvent(w, &release);
        }
    }
}

void SendDrag(QWidget* target, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers)
{
    QPoint local;
    QWidget* w = WidgetAt(target, from, &local);
    QPointer<QWidget> alive(w);
    MoveOnto(w, local);
    Mouse(w, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton, modifiers);
    // The pressed widget has the mouse until the release.
    for (int step = 1; step <= kDragSteps && alive; ++step) {
        const QPoint p = from + (to - from) * step / kDragSteps;
        Mouse(w, QEvent::MouseMove, w->mapFrom(target, p), Qt::NoButton, Qt::LeftButton, modifiers);
    }
    if (alive)
        Mouse(w, QEvent::MouseButtonRelease, w->mapFrom(target, to), Qt::LeftButton, Qt::NoButton, modifiers);
}

bool DragMarksTo(QWidget* target, double left, double right, QString* error)
{
    QVariantMap g;
    if (!QMetaObject::invokeMethod(target, "ScriptGeometry", Qt::DirectConnection, Q_RETURN_ARG(QVariantMap, g))) {
        *error = QStringLiteral("%1 is no range slider").arg(target->objectName());
        return false;
    }
    const double min = g["min"].toDouble(), max = g["max"].toDouble();
    const int thumb = g["thumbWidth"].toInt(), usable = g["usable"].toInt();
    if (!(max > min) || usable <= 0) {
        *error = QStringLiteral("the range slider has no range");
        return false;
    }
    const int y = target->height() / 2;
    // A mark is grabbed at its centre: the left one's sits at pixel + thumb/2,
    // the right one's at thumb + pixel + thumb/2.
    const auto pixelOf = [&](double seconds) {
        return int(std::ceil((std::clamp(seconds, min, max) - min) / (max - min) * usable - 1e-9));
    };
    const auto drag = [&](bool rightMark, double to) {
        target->repaint(); // the marks' rectangles come from the last paint
        g.clear();
        QMetaObject::invokeMethod(target, "ScriptGeometry", Qt::DirectConnection, Q_RETURN_ARG(QVariantMap, g));
        const double now = g[rightMark ? "right" : "left"].toDouble();
        const int offset = (rightMark ? thumb : 0) + thumb / 2;
        const QPoint from(int((now - min) / (max - min) * usable) + offset, y);
        SendDrag(target, from, QPoint(pixelOf(to) + offset, y), Qt::NoModifier);
    };
    // The marks cannot pass each other: the one that makes room goes first.
    if (left <= g["right"].toDouble()) {
        drag(false, left);
        drag(true, right);
    } else {
        drag(true, right);
        drag(false, left);
    }
    return true;
}

bool SendDrop(QWidget* target, const QStringList& paths)
{
    QPoint local;
    QWidget* w = WidgetAt(target, target->rect().center(), &local);
    while (w && !w->acceptDrops()) {
        local = w->mapToParent(local);
        w = w->isWindow() ? nullptr : w->parentWidget();
    }
    if (!w)
        return false;
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QPointer<QWidget> alive(w);
    QDragEnterEvent enter(local, actions, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    if (!alive)
        return false;
    bool accepted = enter.isAccepted();
    if (accepted) {
        // As Qt's own drag does: the move starts out as the enter ended.
        QDragMoveEvent move(local, actions, &data, Qt::NoButton, Qt::NoModifier);
        move.setDropAction(enter.dropAction());
        move.setAccepted(true);
        QApplication::sendEvent(w, &move);
        accepted = alive && move.isAccepted();
    }
    if (!accepted) {
        if (alive) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(w, &leave);
        }
        return false;
    }
    QDropEvent drop(local, actions, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &drop);
    return drop.isAccepted();
}

namespace {

// An item of view by its text, else by its row number.
QModelIndex FindItem(QAbstractItemView* view, const QString& item)
{
    QAbstractItemModel* model = view->model();
    if (!model)
        return {};
    const QModelIndexList found = model->match(
        model->index(0, 0, view->rootIndex()), Qt::DisplayRole, item, 1, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty())
        return found.first();
    bool isRow = false;
    const int row = item.toInt(&isRow);
    return isRow ? model->index(row, 0, view->rootIndex()) : QModelIndex();
}

} // namespace

bool DoubleClickItem(QWidget* target, const QString& item, QString* error)
{
    auto* view = qobject_cast<QAbstractItemView*>(target);
    const QModelIndex index = view ? FindItem(view, item) : QModelIndex();
    if (!index.isValid()) {
        *error = QStringLiteral("%1 has no item \"%2\"").arg(QLatin1String(target->metaObject()->className()), item);
        return false;
    }
    view->scrollTo(index);
    SendMouse(view->viewport(), MouseAction::DoubleClick, view->visualRect(index).center());
    return true;
}

bool SelectItem(QWidget* target, const QString& item, QString* error)
{
    bool isRow = false;
    const int row = item.toInt(&isRow);
    auto missing = [&] {
        *error = QStringLiteral("%1 has no item \"%2\"").arg(QLatin1String(target->metaObject()->className()), item);
        return false;
    };
    if (auto* combo = qobject_cast<QComboBox*>(target)) {
        int i = combo->findText(item);
        if (i < 0 && isRow && row >= 0 && row < combo->count())
            i = row;
        if (i < 0)
            return missing();
        combo->setCurrentIndex(i);
        // As a pick from the list does.
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, i));
        QMetaObject::invokeMethod(combo, "textActivated", Q_ARG(QString, combo->itemText(i)));
        return true;
    }
    QTabBar* tabs = qobject_cast<QTabBar*>(target);
    if (auto* tabWidget = qobject_cast<QTabWidget*>(target))
        tabs = tabWidget->tabBar();
    if (tabs) {
        int i = -1;
        for (int t = 0; t < tabs->count() && i < 0; ++t) {
            if (PlainText(tabs->tabText(t)) == PlainText(item))
                i = t;
        }
        if (i < 0 && isRow && row >= 0 && row < tabs->count())
            i = row;
        if (i < 0)
            return missing();
        tabs->setCurrentIndex(i);
        return true;
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
        const QModelIndex index = FindItem(view, item);
        if (!index.isValid())
            return missing();
        view->scrollTo(index);
        const QRect r = view->visualRect(index);
        if (r.isEmpty())
            view->setCurrentIndex(index);
        else
            SendMouse(view->viewport(), MouseAction::Click, r.center());
        return true;
    }
    *error = QStringLiteral("%1 has no items to select").arg(QLatin1String(target->metaObject()->className()));
    return false;
}

bool PickMenuItem(const QString& key, const std::function<QString(const QString&)>& textOf, QString* error)
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        *error = QStringLiteral("no menu is open");
        return false;
    }
    const QString text = key.startsWith('@') ? textOf(key) : key;
    bool isNumber = false;
    const int id = key.startsWith("0x", Qt::CaseInsensitive) ? key.mid(2).toInt(&isNumber, 16) : key.toInt(&isNumber);
    QAction* chosen = nullptr;
    QStringList items;
    const auto actions = menu->actions();
    for (QAction* a : actions) {
        if (a->isSeparator() || !a->isVisible())
            continue;
        items << PlainText(a->text());
        const QVariant controlId = a->property("controlId").isValid() ? a->property("controlId") : a->data();
        if (a->objectName() == key || (!text.isEmpty() && PlainText(a->text()) == PlainText(text))
            || (isNumber && controlId.isValid() && controlId.toInt() == id)) {
            chosen = a;
            break;
        }
    }
    if (!chosen) {
        *error = QStringLiteral("the menu has no item \"%1\" (items: %2)").arg(key, items.join(", "));
        return false;
    }
    if (!chosen->isEnabled()) {
        *error = QStringLiteral("the menu item \"%1\" is disabled").arg(key);
        return false;
    }
    // Highlighted and entered, as with the keyboard: the menu closes (or
    // opens the submenu) and its exec returns the action.
    menu->setActiveAction(chosen);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(menu, &press);
    return true;
}
