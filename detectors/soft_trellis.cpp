#include "detectors/soft_trellis.h"

#include <algorithm>
#include <bit>

namespace detectors {

SoftTrellis MakeSoftTrellis(const channel::Target& target, int extra) {
    const channel::Trellis& base = target.GetTrellis();
    SoftTrellis t;
    t.nu = base.memory;
    t.memory = base.memory + extra;
    t.states = 1 << t.memory;
    t.endStates = 1 << extra;
    const std::size_t branches = static_cast<std::size_t>(2 * t.states);
    t.raw.resize(branches);
    t.level.resize(branches);
    t.levelIndex.resize(branches);
    // History bit m - 1 is p_{k-m}: state bit memory - m.
    auto history = [&](int s) {
        unsigned h = 0;
        for (int m = 1; m <= t.nu; ++m)
            h |= static_cast<unsigned>((s >> (t.memory - m)) & 1) << (m - 1);
        return h;
    };
    for (int b = 0; b < 2; ++b)
        for (int s = 0; s < t.states; ++s) {
            const std::size_t w = static_cast<std::size_t>((b << t.memory) | s);
            const unsigned parity =
                target.HasPrecoder() ? std::popcount(history(s) & target.PrecoderTaps()) & 1u : 0u;
            t.raw[w] = static_cast<std::uint8_t>(static_cast<unsigned>(b) ^ parity);
            // The target's own window: the newest nu bits of s and b.
            t.level[w] = base.Output(s >> extra, b);
        }
    t.levels = t.level;
    std::sort(t.levels.begin(), t.levels.end());
    t.levels.erase(std::unique(t.levels.begin(), t.levels.end()), t.levels.end());
    for (std::size_t w = 0; w < branches; ++w)
        t.levelIndex[w] = static_cast<int>(
            std::lower_bound(t.levels.begin(), t.levels.end(), t.level[w]) - t.levels.begin());
    const float lo = t.levels.front(), hi = t.levels.back();
    const float span = std::max(hi - lo, 1.0f);
    t.low = lo - span;
    t.high = hi + span;
    return t;
}

bool Noiseless(double variance) {
    return !(variance >= kMinVariance);
}

float MetricFactor(double variance) {
    return Noiseless(variance) ? -1.0f : static_cast<float>(-1.0 / (2.0 * variance));
}

} // namespace detectors
