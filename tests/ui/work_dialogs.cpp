// test-links: cw_skin
// The progress dialogs of long work.
#include "engine/work_state.h"
#include "skin/global_work_dlg.h"
#include "skin/movie_work_dlg.h"
#include "skin/work_cancel_button.h"
#include "skin/work_dialog_run.h"
#include "test_util.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace {

class WorkDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSuiteValue("IMAGEDIR", CW_SUITE_DIR "/image");
        SetSuiteValue("CURRENT_PATH", CW_SUITE_DIR);
        CMovieWorkState::Reset();
        host.resize(420, 300);
        host.show();
    }
    void TearDown() override { CMovieWorkState::Reset(); }

    // A new phase, once a work window's timer has taken it.
    static bool EnterPhase(std::int32_t phase)
    {
        CMovieWorkState::SetPhase(phase);
        return WaitFor([] { return !CMovieWorkState::IsStarted(); }, 2000);
    }

    TempRegistry registry;
    ResourceLookup lookup { &SuiteText, &SuiteImage };
    QWidget host;
};

TEST_F(WorkDialogs, EstimateOfTheTimeLeftInAStage)
{
    struct Row {
        bool texts; // the string table, or no texts at all
        std::int32_t total, current;
        std::int64_t elapsed;
        QString line1;
    };
    const Row rows[] = {
        { true, 100, 25, 30, "Time Estimates : about 1 min." }, { true, 100, 25, 10, "Time Estimates : about 30 sec." },
        // elapsed x range wraps in 32 bits, and so does the subtraction.
        { true, 100000, 50000, 70000, "Time Estimates : about 71582523 min." },
        { true, 100, 0, 30, "WAIT" }, // no position: line 1 stays
        { true, 0, 0, 30, "WAIT" }, // no total: the bar's range is 1
        { false, 100, 25, 10, "Time Estimates : about 30 " }, // only the prefix has a fallback
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line1.toStdString());
        CMovieWorkState::Reset();
        std::int64_t now = 1000;
        CGlobalWorkWnd wnd(row.texts ? lookup : ResourceLookup(), &host);
        wnd.setClock([&now] { return now; });
        wnd.SetWorkTexts("SAVE", "WAIT", true);
        ASSERT_TRUE(EnterPhase(CMovieWorkState::Analysing));
        EXPECT_EQ(wnd.line(0), "Analyzing");
        CMovieWorkState::SetTotal(row.total);
        CMovieWorkState::SetCurrent(row.current);
        now += row.elapsed;
        WaitFor([&] { return wnd.line(1) != "WAIT"; }, row.line1 == "WAIT" ? 300 : 2000);
        EXPECT_EQ(wnd.line(1), row.line1);
        EXPECT_EQ(wnd.progressBar()->maximum(), std::max(row.total, 1));
    }
}

TEST_F(WorkDialogs, ConversionIsDrawnAsTheSavingStageAndCancelIsOffWhileSaving)
{
    CGlobalWorkWnd wnd(lookup, &host);
    wnd.SetWorkTexts("SAVE", "WAIT", true);
    wnd.show();
    ASSERT_TRUE(EnterPhase(CMovieWorkState::Converting));
    EXPECT_EQ(wnd.stage(), 2);
    EXPECT_EQ(wnd.line(0), "Saving");
    EXPECT_FALSE(wnd.animation(0)->isVisible() || wnd.animation(1)->isVisible());
    EXPECT_TRUE(wnd.animation(2)->isVisible());
    EXPECT_FALSE(wnd.cancelButton()->isEnabled());

    // The tiles before it show their after-images.
    const QImage shot = wnd.grab().toImage();
    const auto drawn = [](const char* key) {
        QImage tile(102, 102, QImage::Format_RGB32);
        tile.fill(QColor(244, 246, 250));
        QPainter(&tile).drawImage(0, 0, QImage(CW_SUITE_DIR "/image/" + SuiteImage("GLOBAL_WORKDLG", key)));
        return tile.pixel(51, 51);
    };
    EXPECT_NE(drawn("ANALYZING_AFTER_IMAGE"), drawn("ANALYZING_BEFORE_IMAGE"));
    EXPECT_EQ(shot.pixel(23 + 51, 4 + 51), drawn("ANALYZING_AFTER_IMAGE"));

    // Cancel in the dialog only sets the flag, and is off while saving.
    CGlobalWorkDlg dlg(&host);
    dlg.SetResourceCallbacks(&SuiteText, &SuiteImage);
    dlg.SetWorkTexts("SAVE", "WAIT", true);
    dlg.show();
    ASSERT_TRUE(dlg.workWnd());
    ASSERT_TRUE(EnterPhase(CMovieWorkState::Extracting));
    QTest::mouseClick(dlg.workWnd()->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(CMovieWorkState::IsCancelled());
    CMovieWorkState::SetCancel(0);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(CMovieWorkState::IsCancelled());
    EXPECT_TRUE(dlg.isVisible() && dlg.IsRunning());

    ASSERT_TRUE(EnterPhase(CMovieWorkState::Saving));
    CMovieWorkState::SetCancel(0);
    QTest::mouseClick(dlg.workWnd()->cancelButton(), Qt::LeftButton);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(CMovieWorkState::IsCancelled());
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(WorkDialogs, ImportWindowTicksToTheOwnerAndFollowsOnlyTheConversion)
{
    MessageCounter owner(msg::MovieWorkTick);
    CMovie_WorkDlg dlg(&host, &owner);
    dlg.SetResourceCallbacks(&SuiteText, &SuiteImage);
    dlg.show();
    CMovie_WorkWnd* wnd = dlg.workWnd();
    ASSERT_TRUE(wnd);
    ASSERT_TRUE(WaitFor([&] { return owner.count >= 3; }, 2000));
    EXPECT_GE(wnd->progressBar()->value(), 3);

    dlg.SetWorkTexts("CONVERT", "WAIT", true);
    CMovieWorkState::SetPhase(CMovieWorkState::Saving);
    CMovieWorkState::SetTotal(10);
    CMovieWorkState::SetCurrent(5);
    const int ticks = owner.count;
    QTest::qWait(300);
    EXPECT_TRUE(CMovieWorkState::IsStarted());
    EXPECT_EQ(wnd->stage(), 0);
    EXPECT_EQ(owner.count, ticks);

    CMovieWorkState::SetTotal(0);
    CMovieWorkState::SetCurrent(0);
    ASSERT_TRUE(EnterPhase(CMovieWorkState::Converting));
    EXPECT_EQ(wnd->stage(), 3);
    EXPECT_TRUE(WaitFor([&] { return wnd->progressBar()->maximum() == 1; }, 2000));
    CMovieWorkState::SetTotal(10);
    CMovieWorkState::SetCurrent(4);
    EXPECT_TRUE(WaitFor([&] { return wnd->progressBar()->maximum() == 10 && wnd->progressBar()->value() == 4; }, 2000));

    SendMessage(&dlg, msg::CloseProgress); // the other dialog's close
    EXPECT_TRUE(dlg.isVisible());
    SendMessage(&dlg, msg::CloseMovieWork);
    EXPECT_EQ(dlg.result(), CWorkDialogBase::kClosedByWork);
}

TEST_F(WorkDialogs, JobRunBesideItsDialogEndsTheRunHoweverEarlyOrLate)
{
    CBackgroundWorker worker(QStringLiteral("work test"));
    CGlobalWorkDlg dlg(&host);
    dlg.SetResourceCallbacks(&SuiteText, &SuiteImage);

    // Close messages before the dialog shows, and a job that ends at once
    // posting the close twice itself: one clean run.
    PostMessage(&dlg, msg::CloseProgress);
    PostMessage(&dlg, msg::CloseProgress);
    QCoreApplication::processEvents();
    WorkRunResult r = RunWorkBesideDialog(worker, dlg, msg::CloseProgress, [&dlg](const auto&) {
        PostMessage(&dlg, msg::CloseProgress);
        PostMessage(&dlg, msg::CloseProgress);
    });
    EXPECT_EQ(r.dialogResult, CWorkDialogBase::kClosedByWork);
    EXPECT_TRUE(r.jobStarted && r.jobEnded);
    EXPECT_FALSE(dlg.workWnd());

    // What is left of that run does not end the next one early.
    QElapsedTimer clock;
    clock.start();
    r = RunWorkBesideDialog(worker, dlg, msg::CloseProgress,
        [](const auto&) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
    EXPECT_EQ(r.dialogResult, CWorkDialogBase::kClosedByWork);
    EXPECT_TRUE(r.jobEnded);
    EXPECT_GE(clock.elapsed(), 300);

    // A dialog that ends first cancels the job and leaves it to the worker.
    ScriptedDialogs dialogs;
    dialogs->setModalTimeout(200);
    auto sawCancel = std::make_shared<std::atomic<bool>>(false);
    r = RunWorkBesideDialog(worker, dlg, msg::CloseProgress, [sawCancel](const CBackgroundWorker::CancelFlag& cancel) {
        for (int i = 0; i < 600 && !(cancel->load() && CMovieWorkState::IsCancelled()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        sawCancel->store(cancel->load() && CMovieWorkState::IsCancelled());
    });
    EXPECT_EQ(r.dialogResult, IDCANCEL);
    EXPECT_TRUE(r.jobStarted && !r.jobEnded);
    EXPECT_TRUE(WaitFor([&] { return worker.IsIdle(); }, 2000));
    EXPECT_TRUE(sawCancel->load());

    // A dialog answered without showing never starts the job.
    dialogs->pushResult(IDOK);
    r = RunWorkBesideDialog(worker, dlg, msg::CloseProgress, [](const auto&) { ADD_FAILURE(); });
    EXPECT_FALSE(r.jobStarted);
}

} // namespace
