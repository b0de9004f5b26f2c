#include "engine/work_state.h"

void CMovieWorkState::Reset()
{
    cancelled_.store(0, std::memory_order_relaxed);
    phase_.store(0, std::memory_order_relaxed);
    total_.store(0, std::memory_order_relaxed);
    current_.store(0, std::memory_order_relaxed);
    started_.store(0, std::memory_order_relaxed);
}

void CMovieWorkState::SetPhase(std::int32_t p)
{
    phase_.store(p, std::memory_order_relaxed);
    // Release so that a reader that sees started also sees the new phase.
    started_.store(1, std::memory_order_release);
}
