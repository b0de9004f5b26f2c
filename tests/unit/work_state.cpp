// The shared progress and cancel state.
// test-links: cw_export cw_platform
#include "engine/work_state.h"

#include <gtest/gtest.h>
#include <thread>

TEST(MovieWorkState, WorkerAndPollerShareItWithoutLocks)
{
    // A worker counts up while a poller reads and finally cancels; under the
    // thread sanitizer this shows the fields are race-free.
    CMovieWorkState::Reset();
    CMovieWorkState::SetTotal(1000000);
    std::thread worker([] {
        for (int i = 1; !CMovieWorkState::IsCancelled(); ++i)
            CMovieWorkState::SetCurrent(i);
    });
    std::int32_t last = 0;
    while (last < 1000) {
        const std::int32_t now = CMovieWorkState::GetCurrent();
        EXPECT_GE(now, last); // one writer: the value only grows
        last = now;
    }
    CMovieWorkState::SetCancel(1);
    worker.join();
    CMovieWorkState::Reset();
}
