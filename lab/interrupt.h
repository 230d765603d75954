#pragma once
// Ctrl-C stops long work cleanly, and so does SIGTERM (what a scheduler sends
// at a job's time limit, and mpirun when it is stopped): the handler only
// sets a flag, the workers look at it between chunks, and the program still
// prints and writes what it finished before it exits with 128 + the signal's
// number (130 for Ctrl-C, 143 for SIGTERM).
#include <atomic>

namespace lab {

void CatchInterrupt();
const std::atomic<bool>& InterruptFlag();
inline bool Interrupted() {
    return InterruptFlag().load(std::memory_order_relaxed);
}
// The status to exit with once interrupted, and how a message names the
// signal: "Ctrl-C" or "SIGTERM".
int InterruptStatus();
const char* InterruptName();

} // namespace lab
