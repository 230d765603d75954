#pragma once
// A sweep's points as every front end reports them (the lab's table, CSV
// and chart, the Python module's array): a point's noise, the detectors that
// ran there, their counts and the Viterbi detector's union bound; and the
// columns of the table the points make.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "channel/events.h"
#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/error_rate.h"

namespace engine {

struct BerPoint {
    std::size_t target = 0; // which of the sweep's targets
    double snrDb = 0;
    double sigma = 0;
    std::vector<detectors::Kind> kinds; // the detectors that ran, in the order of the counts
    PointCounts counts;                 // one monitor per detector
    double unionBound = 0;              // of the Viterbi detector's raw-bit error rate
    std::string coefficients;           // the target's, designed at this point for gprL

    // The counts of a detector, or null where it did not run.
    const Monitor* CountsOf(detectors::Kind kind) const;
};

// Point `index` of a sweep given by deviations or by SNRs (the other list
// empty), each SNR quoted against SignalEnergy(chain).
BerPoint PointAt(const ChainSettings& chain, const std::vector<double>& sigmas,
                 const std::vector<double>& snrDbs, std::size_t index);

// The error events the union bound of a chain's points sums over: the
// target's (channel::UnionBoundEvents), none for gprL, whose target is
// designed at each point.
std::vector<channel::ErrorEvent> BoundEvents(const ChainSettings& chain);

// Runs the point as sweep point `index` (engine::RunPoint) on a channel
// designed for its sigma, with the setup's detectors (DetectorsOf): fills
// its kinds and coefficients first, then its counts and the union bound over
// `events` (BoundEvents of the setup's chain; for gprL those of the
// designed target). On a head the bound takes the equalized noise's
// autocorrelation as designed. False when stopped first.
bool RunBerPoint(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design,
                 int index, const std::vector<channel::ErrorEvent>& events,
                 const std::atomic<bool>& stop, BerPoint& point,
                 const std::function<void(const PointCounts&)>& report = {});
// RunBerPoint's parts before and after its counts, for a front end that
// counts them some other way (a cluster run, lab/cluster.h).
void BeginBerPoint(const BerSetup& setup, const ChannelDesign& design, BerPoint& point);
void EndBerPoint(const BerSetup& setup, const ChannelDesign& design,
                 const std::vector<channel::ErrorEvent>& events, BerPoint& point);

// The columns of a sweep's table: a target column first when several
// targets run, then snr_db, sigma, bits, an errors and a rate column for the
// slicer and the Viterbi detector always and for npml after them on a
// recording channel (a detector that did not run at a point leaves its two
// cells empty), then union_bound.
struct BerColumns {
    bool target = false;
    std::vector<detectors::Kind> kinds; // the detectors with columns, in order
    // "target", "snr_db", "sigma", "bits", "slicer_errors", "slicer_ber", ...
    std::vector<std::string> Names() const;
};
BerColumns BerColumnsOf(bool recording, bool severalTargets);

} // namespace engine
