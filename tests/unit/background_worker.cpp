// test-links: cw_platform
// The background worker: the newest request of a lane wins, cancelled work
// delivers nothing, results arrive on the UI thread, and a receiver that is
// gone gets nothing.
#include "platform/background_worker.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using Flag = CBackgroundWorker::CancelFlag;

// Work that runs until it is cancelled or released.
std::function<int(const Flag&)> Blocking(std::atomic<bool>& started, std::atomic<bool>& release, int value)
{
    return [&started, &release, value](const Flag& cancel) {
        started = true;
        while (!release && !cancel->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return value;
    };
}

TEST(BackgroundWorker, NewestRequestOfALaneWins)
{
    CBackgroundWorker worker("cw-test-worker");
    QObject receiver;
    std::atomic<bool> started { false }, release { false };
    std::vector<int> delivered;
    QThread* deliveredOn = nullptr;
    auto done = [&](int v) {
        delivered.push_back(v);
        deliveredOn = QThread::currentThread();
    };
    worker.Post<int>(&receiver, "seek", Blocking(started, release, 1), done);
    ASSERT_TRUE(WaitFor([&] { return started.load(); }, 5000));
    // The running request is cancelled, the waiting one replaced.
    worker.Post<int>(
        &receiver, "seek", [](const Flag&) { return 2; }, done);
    worker.Post<int>(
        &receiver, "seek", [](const Flag&) { return 3; }, done);
    // Another lane is not touched.
    worker.Post<int>(
        &receiver, "thumb", [](const Flag&) { return 10; }, done);
    ASSERT_TRUE(WaitFor([&] { return delivered.size() == 2; }, 5000));
    EXPECT_EQ(delivered, (std::vector<int> { 3, 10 }));
    EXPECT_EQ(deliveredOn, QThread::currentThread());
}

TEST(BackgroundWorker, CancelledOrOrphanedWorkDeliversNothing)
{
    CBackgroundWorker worker("cw-test-worker");
    std::atomic<bool> started { false }, release { false };
    int delivered = 0;
    auto receiver = std::make_unique<QObject>();
    worker.Post<int>(receiver.get(), "a", Blocking(started, release, 1), [&](int) { ++delivered; });
    worker.Post<int>(
        receiver.get(), "b", [](const Flag&) { return 2; }, [&](int) { ++delivered; });
    ASSERT_TRUE(WaitFor([&] { return started.load(); }, 5000));
    worker.Cancel("a");
    worker.Cancel("b");
    // The receiver goes before its result arrives.
    QObject* gone = receiver.get();
    worker.Post<int>(
        gone, {}, [](const Flag&) { return 3; }, [&](int) { ++delivered; });
    receiver.reset();
    ASSERT_TRUE(WaitFor([&] { return worker.IsIdle(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
}

TEST(BackgroundWorker, DestroyedWhileWorkRuns)
{
    std::atomic<bool> started { false }, release { false };
    QObject receiver;
    int delivered = 0;
    {
        CBackgroundWorker worker("cw-test-worker");
        worker.Post<int>(&receiver, {}, Blocking(started, release, 1), [&](int) { ++delivered; });
        worker.Post<int>(
            &receiver, {}, [](const Flag&) { return 2; }, [&](int) { ++delivered; });
        ASSERT_TRUE(WaitFor([&] { return started.load(); }, 5000));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
}

TEST(BackgroundWorker, WorkThatRunsOutOfMemoryEndsWithAMessage)
{
    CBackgroundWorker worker("cw-test-worker");
    QObject receiver;
    std::vector<int> delivered;
    QStringList failures;
    const auto onFailed = [&](const QString& m) { failures << m; };
    // (A real failing allocation would stop the address sanitizer first.)
    worker.Post<int>(
        &receiver, {}, [](const Flag&) -> int { throw std::bad_alloc(); }, [&](int v) { delivered.push_back(v); },
        onFailed);
    // Without a handler the failure is only logged.
    worker.Post<int>(
        &receiver, {}, [](const Flag&) -> int { throw std::runtime_error("broken"); },
        [&](int v) { delivered.push_back(v); });
    // The thread goes on with the next request.
    worker.Post<int>(
        &receiver, {}, [](const Flag&) { return 7; }, [&](int v) { delivered.push_back(v); }, onFailed);
    ASSERT_TRUE(WaitFor([&] { return delivered.size() == 1; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, std::vector<int> { 7 });
    EXPECT_EQ(failures, QStringList { CBackgroundWorker::OutOfMemoryMessage() });
}

} // namespace
