// test-links: cw_platform
#include "platform/messages.h"
#include "platform/tsan_annotations.h"
#include "skin/scripted_dialog_service.h"

#include <QCoreApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>

namespace {

class Receiver : public MessageWindow<QWidget> {
public:
    std::vector<std::uint32_t> seen;
    Qt::HANDLE lastThread = nullptr;

    LRESULT onMessage(std::uint32_t m, WPARAM w, LPARAM l, bool& handled) override
    {
        seen.push_back(m);
        lastThread = QThread::currentThreadId();
        if (m == msg::ListCount) {
            *FromParam<std::int32_t>(l) = 7;
            return 0;
        }
        if (m == msg::OpenSource)
            return static_cast<LRESULT>(w) + FromParam<QString>(l)->size();
        handled = false;
        return 0;
    }
};

} // namespace

TEST(Messages, SendRunsTheHandlerAndReturnsItsResult)
{
    Receiver r;
    std::int32_t count = 0;
    EXPECT_EQ(SendMessage(&r, msg::ListCount, 0, ToLParam(&count)), 0);
    EXPECT_EQ(count, 7);
    QString path = "abc";
    EXPECT_EQ(SendMessage(&r, msg::OpenSource, 2, ToLParam(&path)), 5);
    // Not handled, or no receiver: 0.
    EXPECT_EQ(SendMessage(&r, 0x1234), 0);
    EXPECT_EQ(SendMessage(nullptr, msg::OpenSource), 0);
    EXPECT_EQ(r.seen.size(), 3u);
}

TEST(Messages, PostFromWorkerThreadsArrivesOnTheReceiversThread)
{
    Receiver r;
    const Qt::HANDLE uiThread = QThread::currentThreadId();
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&] {
            for (int k = 0; k < 25; ++k)
                PostMessage(&r, msg::CloseProgress);
        });
    for (auto& w : workers)
        w.join();
    EXPECT_TRUE(r.seen.empty()); // queued, not yet delivered
    QCoreApplication::processEvents();
    EXPECT_EQ(r.seen.size(), 100u);
    EXPECT_EQ(r.lastThread, uiThread);
}

TEST(Messages, SendFromAWorkerWaitsForTheUiThread)
{
    Receiver r;
    std::atomic<LRESULT> result { -1 };
    std::int32_t count = 0;
    std::thread worker([&] { result = SendMessage(&r, msg::ListCount, 0, ToLParam(&count)); });
    while (result.load() == -1)
        QCoreApplication::processEvents();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(r.lastThread, QThread::currentThreadId());
}

TEST(Dialogs, ScriptedModalRunEndsWhenTheDialogsOwnCodeClosesIt)
{
    ScriptedDialogService s;
    QDialog dlg;
    dlg.setWindowTitle("Saving");
    // A worker closes the dialog by a queued call, as progress dialogs are closed.
    std::thread worker([&] {
        QThread::msleep(50);
        PostQueued(&dlg, [&] { dlg.done(IDOK); });
    });
    EXPECT_EQ(s.runModal(&dlg), IDOK);
    worker.join();

    s.setModalTimeout(50);
    QDialog never;
    EXPECT_EQ(s.runModal(&never), IDCANCEL);
    s.pushResult(IDYES);
    EXPECT_EQ(s.runModal(&never), IDYES);
}
