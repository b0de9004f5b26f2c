// CMovieWorkState: the process-wide progress and cancel state of long work
// (timeline rendering, frame sampling, encoding, conversion). Workers write
// it and progress dialogs poll it on a timer; each field is one 32-bit word
// read and written whole, so relaxed atomics are enough and no lock is taken.
#pragma once

#include <atomic>
#include <cstdint>

class CMovieWorkState {
public:
    enum Phase : std::int32_t { Analysing = 0, Extracting = 1, Saving = 2, Converting = 3 };

    virtual ~CMovieWorkState() = default;

    // cancelled, phase, total, current and started back to 0.
    static void Reset();

    static void SetCancel(std::int32_t v) { cancelled_.store(v, std::memory_order_relaxed); }
    static bool IsCancelled() { return cancelled_.load(std::memory_order_relaxed) != 0; }

    // Sets the phase, then marks it as started so that a progress window
    // notices the change.
    static void SetPhase(std::int32_t p);
    static std::int32_t GetPhase() { return phase_.load(std::memory_order_relaxed); }

    static void SetStarted(std::int32_t v) { started_.store(v, std::memory_order_relaxed); }
    static bool IsStarted() { return started_.load(std::memory_order_acquire) != 0; }

    static void SetTotal(std::int32_t n) { total_.store(n, std::memory_order_relaxed); }
    static std::int32_t GetTotal() { return total_.load(std::memory_order_relaxed); }

    static void SetCurrent(std::int32_t n) { current_.store(n, std::memory_order_relaxed); }
    static std::int32_t GetCurrent() { return current_.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<std::int32_t> cancelled_ { 0 };
    static inline std::atomic<std::int32_t> phase_ { 0 };
    static inline std::atomic<std::int32_t> started_ { 0 };
    static inline std::atomic<std::int32_t> total_ { 0 };
    static inline std::atomic<std::int32_t> current_ { 0 };
};
