#include "labwindow/model/sweep.h"

#include "channel/bounds.h"

namespace labmodel {

int RunSweep(const engine::BerSettings& settings, const engine::BerSetup& setup,
             const std::vector<double>& dbs, const std::atomic<bool>& stop,
             const std::function<void(const engine::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress) {
    const std::vector<channel::ErrorEvent> events = engine::BoundEvents(setup.chain);
    const int count = static_cast<int>(dbs.size());
    int done = 0;
    for (int i = 0; i < count && !stop.load(); ++i) {
        engine::BerPoint p = engine::PointAt(setup.chain, {}, dbs, static_cast<std::size_t>(i));
        const engine::ChannelDesign design = engine::DesignChannel(setup.chain, p.sigma);
        const bool complete = engine::RunBerPoint(
            settings, setup, design, i, events, stop, p, [&](const engine::PointCounts& c) {
                if (progress) progress({i, count, c.bits, settings.bits});
            });
        if (!complete) break;
        finished(p);
        ++done;
    }
    return done;
}

SweepCurves CurvesOf(const engine::ChainSettings& chain, double fromDb, double toDb, int count) {
    SweepCurves curves;
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

} // namespace labmodel
