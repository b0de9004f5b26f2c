#include "platform/messages.h"

#include "platform/tsan_annotations.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

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

namespace {
// A message handed to another thread and the answer the sender waits for.
// The answer is also given (0) when the queued call is dropped unrun, for
// example because the receiver was destroyed.
struct CrossThreadCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;

    void finish(LRESULT r)
    {
        {
            std::lock_guard lock(mutex);
            if (finished)
                return;
            result = r;
            finished = true;
        }
        done.notify_all();
    }
};

class FinishOnDrop {
public:
    explicit FinishOnDrop(std::shared_ptr<CrossThreadCall> call)
        : call_(std::move(call))
    { }
    FinishOnDrop(const FinishOnDrop&) = delete;
    FinishOnDrop& operator=(const FinishOnDrop&) = delete;
    ~FinishOnDrop() { call_->finish(0); }

private:
    std::shared_ptr<CrossThreadCall> call_;
};
} // namespace

LRESULT SendMessage(QObject* target, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return 0;
    if (target->thread() == QThread::currentThread() || !target->thread()->isRunning()) {
        MessageEvent ev(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &ev);
        return ev.result();
    }
    // Another thread owns the receiver: its thread runs the handler while
    // this one waits.
    auto call = std::make_shared<CrossThreadCall>();
    auto guard = std::make_shared<FinishOnDrop>(call);
    QPointer<QObject> receiver(target);
    PostQueued(target, [receiver, call, guard, message, wParam, lParam] {
        if (!receiver)
            return;
        MessageEvent ev(message, wParam, lParam);
        QCoreApplication::sendEvent(receiver, &ev);
        call->finish(ev.result());
    });
    guard.reset();
    std::unique_lock lock(call->mutex);
    call->done.wait(lock, [&] { return call->finished; });
    return call->result;
}

bool PostMessage(QObject* target, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return false;
    // Queued to the target's thread like a posted event (and dropped with the
    // target); the event itself is made there, so filters and handlers read
    // only what that thread wrote.
    PostQueued(target, [target, message, wParam, lParam] {
        MessageEvent ev(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &ev);
    });
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
