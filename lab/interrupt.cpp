#include "lab/interrupt.h"

#include <csignal>

namespace lab {
namespace {

std::atomic<bool> interrupted{false};
volatile std::sig_atomic_t which = SIGINT; // the first signal that stopped us
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int signal) {
    if (!interrupted.load(std::memory_order_relaxed)) which = signal;
    interrupted.store(true, std::memory_order_relaxed);
}

} // namespace

void CatchInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

const std::atomic<bool>& InterruptFlag() {
    return interrupted;
}

int InterruptStatus() {
    return 128 + which;
}

const char* InterruptName() {
    return which == SIGTERM ? "SIGTERM" : "Ctrl-C";
}

} // namespace lab
