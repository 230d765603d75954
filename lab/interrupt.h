#pragma once
// Ctrl-C stops long work cleanly: the handler only sets a flag, the workers
// look at it between chunks, and the program still prints and writes what it
// finished before it exits with status 130.
#include <atomic>

namespace lab {

void CatchInterrupt();
const std::atomic<bool>& InterruptFlag();
inline bool Interrupted() {
    return InterruptFlag().load(std::memory_order_relaxed);
}

} // namespace lab
