#include "engine/ber_sweep.h"

#include <algorithm>

#include "channel/bounds.h"

namespace engine {

const Monitor* BerPoint::CountsOf(detectors::Kind kind) const {
    const auto at = std::find(kinds.begin(), kinds.end(), kind);
    if (at == kinds.end()) return nullptr;
    return &counts.detectors[static_cast<std::size_t>(at - kinds.begin())];
}

BerPoint PointAt(const ChainSettings& chain, const std::vector<double>& sigmas,
                 const std::vector<double>& snrDbs, std::size_t index) {
    BerPoint p;
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
    return channel::UnionBoundEvents(chain.target);
}

bool RunBerPoint(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design,
                 int index, const std::vector<channel::ErrorEvent>& events,
                 const std::atomic<bool>& stop, BerPoint& point,
                 const std::function<void(const PointCounts&)>& report) {
    BeginBerPoint(setup, design, point);
    if (!RunPoint(settings, setup, design, index, stop, point.counts, report)) return false;
    EndBerPoint(setup, design, events, point);
    return true;
}

void BeginBerPoint(const BerSetup& setup, const ChannelDesign& design, BerPoint& point) {
    point.kinds = DetectorsOf(setup, design);
    point.coefficients = design.target.CoefficientText();
}

void EndBerPoint(const BerSetup& setup, const ChannelDesign& design,
                 const std::vector<channel::ErrorEvent>& events, BerPoint& point) {
    const ChainSettings& chain = setup.chain;
    const std::vector<channel::ErrorEvent> designed = chain.gpr > 0
                                                          ? channel::UnionBoundEvents(design.target)
                                                          : std::vector<channel::ErrorEvent>{};
    point.unionBound = chain.Recording()
                           ? channel::UnionBound(chain.gpr > 0 ? designed : events, design.target,
                                                 design.DetectorNoise())
                           : channel::UnionBound(events, point.sigma);
}

std::vector<std::string> BerColumns::Names() const {
    std::vector<std::string> names;
    if (target) names.push_back("target");
    for (const char* name : {"snr_db", "sigma", "bits"}) names.push_back(name);
    for (detectors::Kind kind : kinds) {
        names.push_back(std::string(detectors::KindName(kind)) + "_errors");
        names.push_back(std::string(detectors::KindName(kind)) + "_ber");
    }
    names.push_back("union_bound");
    return names;
}

BerColumns BerColumnsOf(bool recording, bool severalTargets) {
    BerColumns columns;
    columns.target = severalTargets;
    columns.kinds = {detectors::Kind::kSlicer, detectors::Kind::kViterbi};
    if (recording) columns.kinds.push_back(detectors::Kind::kNpml);
    return columns;
}

} // namespace engine
