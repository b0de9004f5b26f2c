#include "platform/background_worker.h"

#include "platform/tsan_annotations.h"

#include <QtGlobal>

#include <exception>
#include <new>

#include <pthread.h>

CBackgroundWorker::CBackgroundWorker(QString threadName, QObject* parent)
    : QObject(parent)
{
    thread_ = std::thread([this, name = threadName.left(15).toUtf8()] {
        pthread_setname_np(pthread_self(), name.constData());
        run();
    });
}

CBackgroundWorker::~CBackgroundWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& task : waiting_)
            task->cancel->store(true, std::memory_order_relaxed);
        waiting_.clear();
        if (running_)
            running_->cancel->store(true, std::memory_order_relaxed);
    }
    wake_.notify_all();
    thread_.join();
}

QString CBackgroundWorker::OutOfMemoryMessage()
{
    return QStringLiteral("There is not enough memory to finish this work.");
}

void CBackgroundWorker::enqueue(QObject* receiver, const QString& lane, std::function<void(const CancelFlag&)> work,
    std::function<void()> done, FailedFn failed)
{
    auto task = std::make_shared<Task>();
    task->lane = lane;
    task->receiver = receiver;
    task->work = std::move(work);
    task->done = std::move(done);
    task->failed = std::move(failed);
    task->cancel = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(mutex_);
        if (!lane.isEmpty()) {
            std::erase_if(waiting_, [&](const std::shared_ptr<Task>& t) {
                if (t->lane != lane)
                    return false;
                t->cancel->store(true, std::memory_order_relaxed);
                return true;
            });
            if (running_ && running_->lane == lane)
                running_->cancel->store(true, std::memory_order_relaxed);
        }
        waiting_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void CBackgroundWorker::Cancel(const QString& lane)
{
    std::lock_guard lock(mutex_);
    std::erase_if(waiting_, [&](const std::shared_ptr<Task>& t) { return t->lane == lane; });
    if (running_ && running_->lane == lane)
        running_->cancel->store(true, std::memory_order_relaxed);
}

void CBackgroundWorker::CancelAll()
{
    std::lock_guard lock(mutex_);
    waiting_.clear();
    if (running_)
        running_->cancel->store(true, std::memory_order_relaxed);
}

bool CBackgroundWorker::IsIdle() const
{
    std::lock_guard lock(mutex_);
    return waiting_.empty() && !running_;
}

void CBackgroundWorker::run()
{
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_)
                return;
            task = waiting_.front();
            waiting_.pop_front();
            running_ = task;
        }
        const CancelFlag cancel = task->cancel;
        QString failure;
        if (!cancel->load(std::memory_order_relaxed)) {
            try {
                task->work(cancel);
            } catch (const std::bad_alloc&) {
                failure = OutOfMemoryMessage();
            } catch (const std::exception& e) {
                failure = QString::fromLocal8Bit(e.what());
            }
        }
        if (!failure.isEmpty() && !task->failed)
            qWarning("background work failed: %s", qUtf8Printable(failure));
        // This object lives on the UI thread and outlives the worker thread,
        // so the delivery is queued to it; the receiver is checked there.
        const bool deliver = failure.isEmpty() || task->failed;
        if (deliver && !cancel->load(std::memory_order_relaxed)) {
            PostQueued(this, [task, failure] {
                if (!task->receiver || task->cancel->load(std::memory_order_relaxed))
                    return;
                if (failure.isEmpty())
                    task->done();
                else
                    task->failed(failure);
            });
        }
        std::lock_guard lock(mutex_);
        running_.reset();
    }
}
