#pragma once
// The sweep engine: error rates against the noise, point after point, for
// one or several targets. Settings in, points out; a reporter hears of each
// target, point and the progress within a point (a Monitor counts, a
// Reporter shows: the engine prints nothing). The command line, the lab
// window and the Python module all run their sweeps here; a cluster run
// passes the processes of its run as Peers.
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "channel/events.h"
#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/cluster.h"
#include "engine/error_rate.h"
#include "engine/importance.h"

namespace engine {

struct BerPoint {
    std::size_t target = 0; // which of the sweep's targets
    int index = 0;          // which of its noise levels
    double snrDb = 0;
    double sigma = 0;
    std::vector<detectors::Kind> kinds; // the detectors that ran, in the order of the counts
    PointCounts counts;                 // one monitor per detector
    double unionBound = 0;              // of the Viterbi detector's raw-bit error rate
    std::string coefficients;           // the target's, designed at this point for gprL
    // By importance sampling: each detector's estimate, in the order of the
    // counts (which then hold the trials' bits and the wrong bits seen), and
    // the processor time the point took. Empty when counted.
    std::vector<Estimate> estimates;
    double cpuSeconds = 0;

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

struct SweepSettings {
    BerSettings run;
    // One chain a target; each point draws the same noise for every target
    // (its chunks' streams), target after target.
    std::vector<ChainSettings> chains = {ChainSettings{}};
    // The detectors named, in the table's order; none: at each point every
    // default detector that applies to its design.
    std::vector<detectors::Kind> detectors;
    // The noise levels: deviations, or SNRs in dB (one list empty).
    std::vector<double> sigmas, snrDbs;
    // Counting, or importance sampling with its settings.
    Estimator estimator = Estimator::kCounting;
    ImportanceSettings importance;

    std::size_t Levels() const { return sigmas.empty() ? snrDbs.size() : sigmas.size(); }
};

// What a front end shows of a sweep. Every call comes on the thread that
// runs the sweep.
class SweepReporter {
  public:
    virtual ~SweepReporter() = default;
    // Target `target`'s points begin.
    virtual void TargetBegins(std::size_t target, const ChainSettings& chain);
    // A point begins: its noise, its detectors and the channel designed for it
    // are known, its counts not yet.
    virtual void PointBegins(const BerPoint& point, const ChannelDesign& design);
    // A few times a second while a point runs, with its counts so far.
    virtual void Progress(const BerPoint& point, const PointCounts& counts);
    // A point has ended: its counts and its union bound are in.
    virtual void PointDone(const BerPoint& point);
};

enum class SweepEnd {
    kDone,    // every point ran
    kStopped, // stopped first: `points` holds those that finished
    kLost,    // a process of a cluster run is gone: the points are worth nothing
};

// Runs the sweep, appending each finished point to `points`. Alone (no
// peers) it stops at `stop` between points or within one; in a cluster run
// every process goes through the same points and stops at the same one, when
// the shared point says so (engine::RunSharedPoint).
SweepEnd RunSweep(const SweepSettings& settings, const std::atomic<bool>& stop,
                  SweepReporter& reporter, std::vector<BerPoint>& points, Peers* peers = nullptr);

// A point run alone with the setup's detectors (DetectorsOf) on a channel
// designed for its sigma, its union bound over `events` (BoundEvents of the
// chain): what RunSweep does at each point. False when stopped first.
bool RunBerPoint(const BerSettings& settings, const BerSetup& setup,
                 const std::vector<channel::ErrorEvent>& events, const std::atomic<bool>& stop,
                 BerPoint& point);
// The same by importance sampling.
bool RunImportanceBerPoint(const BerSettings& settings, const ImportanceSettings& importance,
                           const BerSetup& setup, const std::vector<channel::ErrorEvent>& events,
                           const std::atomic<bool>& stop, BerPoint& point);

} // namespace engine
