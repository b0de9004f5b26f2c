// What the script commands do to windows as a user would: find the object a
// TARGET names, and give widgets mouse clicks, keys, drags, drops and menu
// picks as events (delivered on the UI thread, synchronously, so an event
// that opens a modal dialog returns only when the dialog closes).
#pragma once

#include <QKeySequence>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QObject;
class QWidget;

// Where targets are looked for.
struct TargetScope {
    QWidget* frame = nullptr; // the editor's window (null before Create)
    QWidget* host = nullptr; // the host's main window
};

// TARGET is "frame", "host", or the object name or class name of an object
// inside the editor, the host window or any top-level window (dialogs,
// menus); "/ID" after it names a descendant by object name or control id
// (the "controlId" property). Visible widgets win over hidden ones and other
// objects. Null when nothing matches; with shownOnly, only visible widgets
// count.
QObject* FindTarget(const TargetScope& scope, const QString& target, bool shownOnly = false);

// Keyboard modifiers written as "shift", "ctrl+alt", ... (empty: none).
std::optional<Qt::KeyboardModifiers> ParseModifiers(const QString& text);
// Keys as Qt writes them ("Space", "Ctrl+A", "Return, Escape"); empty
// optional when the text names no key.
std::optional<QKeySequence> ParseKeys(const QString& text);

enum class MouseAction { Click, DoubleClick, RightClick, Hover };

// The mouse at point at of target (its centre without one): the events go to
// the topmost visible child there, which is returned.
QWidget* SendMouse(QWidget* target, MouseAction action, std::optional<QPoint> at);
// Each key combination pressed and released on target (shortcuts first, as
// the keyboard would).
void SendKeys(QWidget* target, const QKeySequence& keys);
// The left button pressed at from, moved in steps to to and released there,
// with modifiers held.
void SendDrag(QWidget* target, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers);
// Files dropped on the centre of target (as text/uri-list). Whether a widget
// that accepts drops took them.
// Drags the two marks of a range slider (found by its ScriptGeometry) to the
// first pixels that give at least left and right seconds; false with a
// reason when target is no range slider or has no range.
bool DragMarksTo(QWidget* target, double left, double right, QString* error);

bool SendDrop(QWidget* target, const QStringList& paths);
// Picks item (its text, else its row number) in a combo box, tab bar or item
// view; an item view gets a click on the item.
bool SelectItem(QWidget* target, const QString& item, QString* error);
// Double-clicks item (its text, else its row number) of an item view.
bool DoubleClickItem(QWidget* target, const QString& item, QString* error);
// Picks the item key of the open popup menu: its object name, its text
// ("&" left out), its command id, or "@SECTION/KEY" (the text of that key,
// found with textOf).
bool PickMenuItem(const QString& key, const std::function<QString(const QString&)>& textOf, QString* error);
