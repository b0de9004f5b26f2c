// Responsiveness of the UI thread in a pane benchmark: create one on the UI
// thread before the measured work, run the work with the event loop turning,
// then read or print the longest time the UI thread could not answer (the
// longest gap of a 5 ms UI-thread timer beyond its period). The figure is the
// one the host's script mode writes as uiStallMaxMs (platform/ui_stall_meter.h).
// Setup done on the UI thread on purpose holds a UiStallAllowance.
#pragma once

#include "platform/ui_stall_meter.h"

#include <cstdio>

class UiWatchdog {
public:
    // Measures from now on, forgetting what came before.
    void Restart() { meter_.reset(); }
    long long LongestStallMs() const { return meter_.longestMs(); }
    // Prints "UI_STALL_MAX_MS <ms>", the line the bench scripts read.
    void Print(std::FILE* out = stdout) const { std::fprintf(out, "UI_STALL_MAX_MS %lld\n", LongestStallMs()); }

private:
    UiStallMeter meter_;
};
