// The UI-thread watchdog of the ui test programs (tests/ui/*): a test during
// which the UI thread stalled longer than the limit fails, with the longest
// stall in the message. The stalls are measured by the UiStallMeter of
// platform/ui_stall_meter.h; the watchdog is installed in the ui programs
// only (ui_watchdog.cpp, linked by tests/CMakeLists.txt).
//
// The limit is 100 ms, or CW_UI_STALL_MS milliseconds when that variable is
// set (0 turns the watchdog off); in a sanitizer build (CW_SANITIZE) it is
// raised 5 times under AddressSanitizer, 10 times under ThreadSanitizer.
// Work a test does on the UI thread on purpose, such as making media with
// the ffmpeg command (RunFfmpeg holds one), holds a UiStallAllowance.
#pragma once

#include "platform/ui_stall_meter.h"
