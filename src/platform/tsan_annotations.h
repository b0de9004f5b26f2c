// Hand-overs between threads that ThreadSanitizer cannot see by itself.
//
// Qt is not built with the sanitizer, and its mutexes, semaphores and event
// queue wait on futexes directly: work queued to another thread's event loop
// reaches that thread without any synchronisation the sanitizer knows of, so
// everything the poster wrote before would look like a race. Our hand-over
// points name the order explicitly: the sending thread releases an address,
// the receiving thread acquires it. Outside a ThreadSanitizer build these are
// empty inline functions.
//
// PostQueued and CallBlocking are the queued and blocking calls on another
// thread's object with that order built in; use them instead of
// QMetaObject::invokeMethod with Qt::QueuedConnection or
// Qt::BlockingQueuedConnection.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define CW_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CW_TSAN 1
#endif
#endif

#ifdef CW_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

// Everything this thread did so far happens before whatever follows a
// TsanAcquire of the same address on another thread.
inline void TsanRelease(const void* addr)
{
#ifdef CW_TSAN
    __tsan_release(const_cast<void*>(addr));
#else
    (void)addr;
#endif
}

inline void TsanAcquire(const void* addr)
{
#ifdef CW_TSAN
    __tsan_acquire(const_cast<void*>(addr));
#else
    (void)addr;
#endif
}

// A callable on its way to another thread. Each move into its new place
// releases that place, and the call and the destruction acquire it, so the
// sender's writes (the callable's captures included) happen before the
// receiver runs or drops it. The call releases it again when it returns:
// a blocking call's sender destroys the callable after it ran.
template <typename F> class CHandover {
public:
    explicit CHandover(F f)
        : f_(std::move(f))
    {
        TsanRelease(this);
    }
    CHandover(CHandover&& other)
        : f_((TsanAcquire(&other), std::move(other.f_)))
    {
        TsanRelease(this);
    }
    CHandover(const CHandover&) = delete;
    CHandover& operator=(const CHandover&) = delete;
    CHandover& operator=(CHandover&&) = delete;
    ~CHandover() { TsanAcquire(this); }

    void operator()()
    {
        TsanAcquire(this);
        f_();
        TsanRelease(this);
    }

private:
    F f_;
};

// Runs f on receiver's thread later; dropped if receiver is destroyed first.
template <typename F> bool PostQueued(QObject* receiver, F f)
{
    return QMetaObject::invokeMethod(receiver, CHandover<F>(std::move(f)), Qt::QueuedConnection);
}

// Runs f on receiver's thread (not this one) and waits for it; what f wrote
// is visible here afterwards.
template <typename F> bool CallBlocking(QObject* receiver, F f)
{
    const char done = 0;
    const bool called = QMetaObject::invokeMethod(receiver, CHandover([&f, &done] {
        f();
        TsanRelease(&done);
    }),
        Qt::BlockingQueuedConnection);
    TsanAcquire(&done);
    return called;
}
