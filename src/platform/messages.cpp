#include "platform/messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

MessageEvent::MessageEvent(std::uint32_t message, WPARAM wParam, LPARAM lParam)
    : QEvent(eventType())
    , message_(message)
    , wParam_(wParam)
    , lParam_(lParam)
{ }

QEvent::Type MessageEvent::eventType()
{
    // A fixed number: the host and the component each carry this code, and
    // both must agree on the event type.
    return static_cast<QEvent::Type>(QEvent::User + 0x0C40);
}

LRESULT SendMessage(QObject* target, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return 0;
    MessageEvent ev(message, wParam, lParam);
    if (target->thread() == QThread::currentThread() || !target->thread()->isRunning()) {
        QCoreApplication::sendEvent(target, &ev);
    } else {
        // Another thread owns the receiver: run the handler there and wait.
        QMetaObject::invokeMethod(
            target, [&] { QCoreApplication::sendEvent(target, &ev); }, Qt::BlockingQueuedConnection);
    }
    return ev.result();
}

bool PostMessage(QObject* target, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return false;
    QCoreApplication::postEvent(target, new MessageEvent(message, wParam, lParam));
    return true;
}

bool MessageHandler::dispatchMessageEvent(QEvent* e)
{
    if (e->type() != MessageEvent::eventType())
        return false;
    auto* m = static_cast<MessageEvent*>(e);
    bool handled = true;
    const LRESULT r = onMessage(m->message(), m->wParam(), m->lParam(), handled);
    if (handled) {
        m->setResult(r);
        m->setHandled(true);
    }
    m->accept();
    return true;
}
