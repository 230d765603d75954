#include "engine/ber_sweep.h"

#include <algorithm>
#include <ctime>

#include "channel/bounds.h"
#include "channel/constrained_events.h"

namespace engine {

const Monitor* BerPoint::CountsOf(detectors::Kind kind) const {
    const auto at = std::find(kinds.begin(), kinds.end(), kind);
    if (at == kinds.end()) return nullptr;
    return &counts.detectors[static_cast<std::size_t>(at - kinds.begin())];
}

BerPoint PointAt(const ChainSettings& chain, const std::vector<double>& sigmas,
                 const std::vector<double>& snrDbs, std::size_t index) {
    BerPoint p;
    p.index = static_cast<int>(index);
    const double energy = SignalEnergy(chain);
    if (snrDbs.empty()) {
        p.sigma = sigmas[index];
        p.snrDb = channel::SnrDb(energy, p.sigma);
    } else {
        p.snrDb = snrDbs[index];
        p.sigma = channel::SigmaOfSnr(energy, p.snrDb);
    }
    return p;
}

std::vector<channel::ErrorEvent> BoundEvents(const ChainSettings& chain) {
    if (chain.gpr > 0) return {};
    if (chain.constraint != channel::ConstraintKind::kNone)
        return channel::ConstrainedBoundEvents(chain.target.WithNrzi(),
                                               channel::ConstraintOf(chain.constraint));
    return channel::UnionBoundEvents(chain.target);
}

void SweepReporter::TargetBegins(std::size_t, const ChainSettings&) {}
void SweepReporter::PointBegins(const BerPoint&, const ChannelDesign&) {}
void SweepReporter::Progress(const BerPoint&, const PointCounts&) {}
void SweepReporter::PointDone(const BerPoint&) {}

namespace {

// The point's detectors and designed coefficients, before its counts.
void Begin(const BerSetup& setup, const ChannelDesign& design, BerPoint& point) {
    point.kinds = DetectorsOf(setup, design);
    point.coefficients = design.target.CoefficientText();
}

// Its union bound, after them: on a head with the equalized noise's
// autocorrelation as designed (over the designed target's events for gprL).
void End(const BerSetup& setup, const ChannelDesign& design,
         const std::vector<channel::ErrorEvent>& events, BerPoint& point) {
    const ChainSettings& chain = setup.chain;
    const std::vector<channel::ErrorEvent> designed =
        chain.gpr == 0 ? std::vector<channel::ErrorEvent>{}
        : chain.constraint != channel::ConstraintKind::kNone
            ? channel::ConstrainedBoundEvents(design.target,
                                              channel::ConstraintOf(chain.constraint))
            : channel::UnionBoundEvents(design.target);
    point.unionBound = chain.Recording()
                           ? channel::UnionBound(chain.gpr > 0 ? designed : events, design.target,
                                                 design.DetectorNoise())
                           : channel::UnionBound(events, design.sigma);
}

// A point by importance sampling, its estimates and counts into `point`.
// In a cluster run every process runs the whole point itself: the estimate
// is the same on each (its chunks and their order are), rank 0 reports it.
bool Estimated(const BerSettings& settings, const ImportanceSettings& importance,
               const BerSetup& setup, const ChannelDesign& design, const std::atomic<bool>& stop,
               BerPoint& point, const std::function<void(const PointCounts&)>& report) {
    const std::clock_t start = std::clock();
    ImportanceSums sums;
    auto progress = [&](const ImportanceSums& s) {
        if (report) report(s.Counts());
    };
    const bool done =
        RunImportancePoint(settings, importance, setup, design, point.index, stop, sums, progress);
    point.cpuSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    point.counts = sums.Counts();
    point.estimates.clear();
    for (std::size_t d = 0; d < sums.detectors.size(); ++d)
        point.estimates.push_back(sums.EstimateOf(d));
    return done;
}

} // namespace

bool RunImportanceBerPoint(const BerSettings& settings, const ImportanceSettings& importance,
                           const BerSetup& setup, const std::vector<channel::ErrorEvent>& events,
                           const std::atomic<bool>& stop, BerPoint& point) {
    const ChannelDesign design = DesignChannel(setup.chain, point.sigma);
    Begin(setup, design, point);
    if (!Estimated(settings, importance, setup, design, stop, point, {})) return false;
    End(setup, design, events, point);
    return true;
}

bool RunBerPoint(const BerSettings& settings, const BerSetup& setup,
                 const std::vector<channel::ErrorEvent>& events, const std::atomic<bool>& stop,
                 BerPoint& point) {
    const ChannelDesign design =
        DesignChannel(setup.chain.Coded(), setup.chain.CodedSigma(point.sigma));
    Begin(setup, design, point);
    if (!RunPoint(settings, setup, design, point.index, stop, point.counts)) return false;
    End(setup, design, events, point);
    return true;
}

SweepEnd RunSweep(const SweepSettings& settings, const std::atomic<bool>& stop,
                  SweepReporter& reporter, std::vector<BerPoint>& points, Peers* peers) {
    const std::size_t levels = settings.Levels();
    // In a cluster run the shared point alone says when to stop, so that
    // every process stops at the same one.
    auto Stopped = [&] { return peers == nullptr && stop.load(); };
    for (std::size_t t = 0; t < settings.chains.size(); ++t) {
        if (Stopped()) return SweepEnd::kStopped;
        const ChainSettings& chain = settings.chains[t];
        const std::vector<channel::ErrorEvent> events = BoundEvents(chain);
        reporter.TargetBegins(t, chain);
        for (std::size_t i = 0; i < levels; ++i) {
            if (Stopped()) return SweepEnd::kStopped;
            BerPoint p = PointAt(chain, settings.sigmas, settings.snrDbs, i);
            p.target = t;
            const ChannelDesign design = DesignChannel(chain.Coded(), chain.CodedSigma(p.sigma));
            const BerSetup setup{chain, settings.detectors};
            Begin(setup, design, p);
            reporter.PointBegins(p, design);
            auto report = [&](const PointCounts& c) { reporter.Progress(p, c); };
            const int index = static_cast<int>(i);
            if (settings.estimator == Estimator::kImportance) {
                if (!Estimated(settings.run, settings.importance, setup, design, stop, p, report))
                    return SweepEnd::kStopped;
            } else if (peers == nullptr) {
                if (!RunPoint(settings.run, setup, design, index, stop, p.counts, report))
                    return SweepEnd::kStopped;
            } else {
                switch (RunSharedPoint(settings.run, setup, design, index, stop, *peers, p.counts,
                                       report)) {
                case PointEnd::kDone:
                    break;
                case PointEnd::kStopped:
                    return SweepEnd::kStopped;
                case PointEnd::kLost:
                    return SweepEnd::kLost;
                }
            }
            End(setup, design, events, p);
            points.push_back(p);
            reporter.PointDone(points.back());
        }
    }
    return SweepEnd::kDone;
}

} // namespace engine
