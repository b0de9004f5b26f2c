// CBackgroundWorker: one thread that runs slow work (probing, decoding,
// opening files) off the UI thread and hands each result back on the UI
// thread.
//
// Work is posted in lanes: a newer request in a lane replaces one still
// waiting there and cancels one running there, so a pane that asks again
// while the user drags or scrolls only ever gets the newest answer. Work
// posted without a lane is never superseded. A result is delivered only if
// its work was not cancelled and its receiver still exists.
//
// Create, post and destroy on the UI thread. The destructor cancels what is
// left and joins the thread; work should poll its cancel flag.
//
// Work that throws (an allocation failure above all) ends there: failed, if
// given, gets a message on the UI thread instead of done, and the thread goes
// on with the next request; the host never ends because of it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CBackgroundWorker : public QObject {
public:
    // Set when the work is superseded or cancelled.
    using CancelFlag = std::shared_ptr<const std::atomic<bool>>;

    explicit CBackgroundWorker(QString threadName, QObject* parent = nullptr);
    ~CBackgroundWorker() override;
    CBackgroundWorker(const CBackgroundWorker&) = delete;
    CBackgroundWorker& operator=(const CBackgroundWorker&) = delete;

    using FailedFn = std::function<void(const QString& message)>;

    // Runs work(cancel) on the worker thread, then done(result) on the UI
    // thread while receiver lives and the work was not cancelled. lane empty:
    // never superseded.
    template <typename Result>
    void Post(QObject* receiver, const QString& lane, std::function<Result(const CancelFlag&)> work,
        std::function<void(Result)> done, FailedFn failed = {})
    {
        auto result = std::make_shared<Result>();
        enqueue(
            receiver, lane, [work = std::move(work), result](const CancelFlag& cancel) { *result = work(cancel); },
            [done = std::move(done), result] { done(std::move(*result)); }, std::move(failed));
    }

    // The message a failed handler gets when the work ran out of memory.
    static QString OutOfMemoryMessage();

    // Cancels the work of lane (waiting and running); its result is dropped.
    void Cancel(const QString& lane);
    // Cancels everything posted so far.
    void CancelAll();
    // True when nothing waits or runs (for tests and shutdown).
    bool IsIdle() const;

private:
    struct Task {
        QString lane;
        QPointer<QObject> receiver;
        std::function<void(const CancelFlag&)> work;
        std::function<void()> done;
        FailedFn failed;
        std::shared_ptr<std::atomic<bool>> cancel;
    };

    void enqueue(QObject* receiver, const QString& lane, std::function<void(const CancelFlag&)> work,
        std::function<void()> done, FailedFn failed);
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Task>> waiting_;
    std::shared_ptr<Task> running_;
    bool stopping_ = false;
    std::thread thread_;
};
