#pragma once
// The error-rate view's sweep: the error-rate engine point after point, each
// finished point handed on as it comes, and the curves drawn beside them.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "channel/events.h"
#include "engine/ber_sweep.h"
#include "engine/error_rate.h"

namespace labmodel {

struct SweepProgress {
    int point = 0; // 0 ... points - 1, the one running
    int points = 0;
    std::uint64_t bits = 0; // counted at this point so far
    std::uint64_t goal = 0; // the point's bit limit
};

// Runs the points at `dbs` in order until all are done or `stop` is set, as
// `quorvane-lab ber --snr` does: each point's channel designed for its
// noise (engine::DesignChannel), its counts and union bound from
// engine::RunBerPoint. `finished` gets each finished point, `progress` is
// called a few times a second. Returns the number of points finished.
int RunSweep(const engine::BerSettings& settings, const engine::BerSetup& setup,
             const std::vector<double>& dbs, const std::atomic<bool>& stop,
             const std::function<void(const engine::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress);

// The slicer's exact rate and the Viterbi detector's union bound from
// `fromDb` to `toDb` at `count` + 1 points; a rate of 0 is left out (a
// logarithmic axis has no place for it), and so is the slicer's on a target
// without one. Only the ideal channel has them as curves: on a head both are
// empty, and the bound comes with each measured point.
struct Curve {
    std::vector<double> db, rate;
};
struct SweepCurves {
    Curve slicer, bound;
};
SweepCurves CurvesOf(const engine::ChainSettings& chain, double fromDb, double toDb,
                     int count = 200);

} // namespace labmodel
