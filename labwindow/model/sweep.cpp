#include "labwindow/model/sweep.h"

#include "channel/bounds.h"

namespace labmodel {

int RunSweep(const engine::BerSettings& settings, const engine::BerSetup& setup,
             const std::vector<double>& dbs, const std::atomic<bool>& stop,
             const std::function<void(const lab::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress) {
    const channel::Target& target = setup.chain.target;
    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents(target);
    const int count = static_cast<int>(dbs.size());
    int done = 0;
    for (int i = 0; i < count && !stop.load(); ++i) {
        lab::BerPoint p;
        p.snrDb = dbs[static_cast<std::size_t>(i)];
        p.sigma = channel::SigmaOfSnr(target.Energy(), p.snrDb);
        const bool complete = engine::RunPoint(settings, setup, i, p.sigma, stop, p.counts,
                                               [&](const engine::PointCounts& c) {
                                                   if (progress)
                                                       progress({i, count, c.bits, settings.bits});
                                               });
        if (!complete) break;
        p.unionBound = channel::UnionBound(events, p.sigma);
        finished(p);
        ++done;
    }
    return done;
}

SweepCurves CurvesOf(const channel::Target& target, double fromDb, double toDb, int count) {
    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents(target);
    SweepCurves curves;
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
