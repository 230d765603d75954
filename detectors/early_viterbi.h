#pragma once
// A Viterbi detector that runs sample by sample and decides early: after
// sample k it gives the ideal level of sample k - delay on the survivor that
// ends in the best state, the tentative decision a timing loop needs sooner
// than a whole frame's traceback can give it.
//
// Each state keeps the last 64 precoder bits of its survivor (register
// exchange), so delay + memory must stay below 64. The path metrics start
// equal (nothing is known of the state the samples start in) and are kept
// relative to the best after every step.
#include <cstdint>
#include <vector>

#include "channel/target.h"

namespace detectors {

inline constexpr int kMaxEarlyDelay = 48;

class EarlyViterbi {
  public:
    EarlyViterbi(const channel::Trellis& trellis, int delay);
    int Delay() const { return delay_; }
    // Forgets every sample: all states equally likely.
    void Reset();
    // Takes sample k and returns the level decided for sample k - delay (for
    // k < delay, from the bits assumed before the first: zeros).
    float Step(float z);

  private:
    int memory_ = 0, states_ = 0, delay_ = 0;
    // level of the window of nu + 1 bits with p_{k-m} in bit m (the
    // trellis's window read backwards).
    std::vector<float> level_;
    std::vector<float> metric_, next_;
    std::vector<std::uint64_t> history_, nextHistory_; // bit i: p_{k-i}
};

} // namespace detectors
