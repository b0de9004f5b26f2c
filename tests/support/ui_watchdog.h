// The UI-thread watchdog of the ui test programs (tests/ui/*): a thread posts
// a ping to the UI thread and measures how long the answer takes; a test
// during which the UI thread stalled longer than the limit fails, with the
// longest stall in the message. It is installed in the ui programs only
// (ui_watchdog.cpp, linked by tests/CMakeLists.txt).
//
// The limit is 100 ms, or CW_UI_STALL_MS milliseconds when that variable is
// set (0 turns the watchdog off); in a sanitizer build (CW_SANITIZE) it is
// raised 5 times under AddressSanitizer, 10 times under ThreadSanitizer.
#pragma once

#include <chrono>

// Work a test does on the UI thread on purpose, such as making media with
// the ffmpeg command (RunFfmpeg holds one), is not counted as a stall while
// one of these lives.
class UiStallAllowance {
public:
    UiStallAllowance();
    ~UiStallAllowance();
    UiStallAllowance(const UiStallAllowance&) = delete;
    UiStallAllowance& operator=(const UiStallAllowance&) = delete;

    // Whether one lives now, and when the last one ended (for the watchdog).
    static bool Active();
    static std::chrono::steady_clock::time_point LastEnd();
};
