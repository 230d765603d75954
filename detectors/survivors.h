#pragma once
// What a trellis picture needs from the Viterbi detector: every step's
// decisions (so the survivor of every state at every step), the final path
// metrics and the decided path, by the same forward pass and the same end
// rule as the detectors (detectors/viterbi.h), so the decided path's raw bits
// are the detectors' decisions bit for bit.
#include <cstdint>
#include <vector>

#include "channel/target.h"

namespace detectors {

struct Survivors {
    int bits = 0;  // data bits of the frame
    int steps = 0; // samples: bits plus the tail
    // decisions[k] bit t: state t after sample k came from its odd
    // predecessor (the one whose dropped bit is 1).
    std::vector<std::uint64_t> decisions;
    std::vector<float> metrics; // the path metrics after the last sample
    // The decided path: the state after sample k, k = 0 ... steps - 1 (the
    // state before sample 0 is 0); its precoder bits (the newest bit of each
    // state) and the raw bits of the first `bits` of them.
    std::vector<int> path;
    std::vector<std::uint8_t> prec;
    std::vector<std::uint8_t> raw;

    // The state that state t after sample k came from: its state after
    // sample k - 1 (k = 0: the start, always 0 on a survivor).
    int From(const channel::Trellis& trellis, int k, int t) const {
        return trellis.Predecessor(
            t, static_cast<int>((decisions[static_cast<std::size_t>(k)] >> t) & 1u));
    }
};

// The frame y[0 ... n + tail - 1] through the detector's forward pass from
// state 0, traced back from state 0 (tail = the target's memory) or from the
// best state (tail 0), then the inverse precoder. n >= 1.
Survivors TraceSurvivors(const channel::Target& target, const float* y, int n, int tail);

} // namespace detectors
