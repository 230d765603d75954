#include "lab/interrupt.h"

#include <csignal>

namespace lab {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
    interrupted.store(true, std::memory_order_relaxed);
}

} // namespace

void CatchInterrupt() {
    std::signal(SIGINT, OnInterrupt);
}

const std::atomic<bool>& InterruptFlag() {
    return interrupted;
}

} // namespace lab
