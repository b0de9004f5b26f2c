// The host publishes its phone facts as properties of its main window (see
// include/host_api.h): the phone-link object, the connection flag and
// handle, and the comm library's path.
#pragma once

#include <QPointer>
#include <QString>

class QObject;
class QWidget;

// The host's main window: the top-level widget that carries the phone
// properties, preferring the window that holds near. Null when none does.
QWidget* FindHostMainWindow(const QWidget* near = nullptr);

struct HostPhoneFacts {
    QPointer<QObject> phoneLink;
    bool connected = false;
    qulonglong handle = 0;
    QString commLibrary;
};
// Reads the host's phone facts from its main window (all empty without one).
HostPhoneFacts ReadHostPhoneFacts(const QWidget* near = nullptr);
