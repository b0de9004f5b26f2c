#include "shell/host_phone_facts.h"

#include "host_api.h"

#include <QApplication>
#include <QWidget>

namespace {

bool HasPhoneProperties(const QWidget* w)
{
    return w
        && (w->property(kHostPhoneLinkProperty).isValid() || w->property(kHostPhoneConnectedProperty).isValid()
            || w->property(kHostCommLibraryProperty).isValid());
}

} // namespace

QWidget* FindHostMainWindow(const QWidget* near)
{
    if (near && HasPhoneProperties(near->window()))
        return near->window();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (HasPhoneProperties(w))
            return w;
    }
    return nullptr;
}

HostPhoneFacts ReadHostPhoneFacts(const QWidget* near)
{
    HostPhoneFacts facts;
    const QWidget* host = FindHostMainWindow(near);
    if (!host)
        return facts;
    facts.phoneLink = host->property(kHostPhoneLinkProperty).value<QObject*>();
    facts.connected = host->property(kHostPhoneConnectedProperty).toBool();
    facts.handle = host->property(kHostPhoneHandleProperty).toULongLong();
    facts.commLibrary = host->property(kHostCommLibraryProperty).toString();
    return facts;
}
