#include "engine/ber_curves.h"

#include "channel/bounds.h"
#include "channel/events.h"

namespace engine {

BerCurves CurvesOf(const ChainSettings& chain, double fromDb, double toDb, int count) {
    BerCurves curves;
    if (chain.Recording()) return curves;
    const channel::Target& target = chain.target;
    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents(target);
    for (int i = 0; i <= count; ++i) {
        const double db = fromDb + (toDb - fromDb) * i / count;
        const double sigma = channel::SigmaOfSnr(target.Energy(), db);
        const double s = target.HasSlicer() ? channel::SlicerBer(target, sigma) : 0.0;
        const double v = channel::UnionBound(events, sigma);
        if (s > 0) curves.slicer.db.push_back(db), curves.slicer.rate.push_back(s);
        if (v > 0) curves.bound.db.push_back(db), curves.bound.rate.push_back(v);
    }
    return curves;
}

} // namespace engine
