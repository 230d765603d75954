#pragma once
// The error-rate view's sweep: the sweep engine (engine::RunSweep), each
// finished point handed on as it comes and its progress as it goes.
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/ber_sweep.h"

namespace labmodel {

struct SweepProgress {
    int point = 0; // 0 ... points - 1, the one running
    int points = 0;
    std::uint64_t bits = 0; // counted at this point so far
    std::uint64_t goal = 0; // the point's bit limit
};

// Runs the sweep until all its points are done or `stop` is set, as
// `quorvane-lab ber` does. `finished` gets each finished point, `progress`
// is called a few times a second. Returns the number of points finished.
int RunSweep(const engine::SweepSettings& settings, const std::atomic<bool>& stop,
             const std::function<void(const engine::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress);

} // namespace labmodel
