#include "engine/constraint_survey.h"

#include <algorithm>
#include <cmath>

#include "channel/constrained_events.h"
#include "channel/events.h"

namespace engine {

namespace {

// Hears the design of the point that runs, for its distance and noise.
class DesignReporter final : public SweepReporter {
  public:
    DesignReporter(SweepReporter& next, ConstraintSurveyRow& row) : next_(next), row_(row) {}
    void TargetBegins(std::size_t t, const ChainSettings& chain) override {
        next_.TargetBegins(t, chain);
    }
    void PointBegins(const BerPoint& point, const ChannelDesign& design) override {
        const channel::ConstraintKind kind = design.settings.constraint;
        row_.d2min =
            kind == channel::ConstraintKind::kNone
                ? design.target.D2Min()
                : channel::ConstrainedMinimumDistance(design.target, channel::ConstraintOf(kind),
                                                      channel::kMinDistanceMaxLen);
        row_.noiseVariance = design.DetectorNoise().front();
        row_.detectionSnrDb = 10 * std::log10(row_.d2min / row_.noiseVariance);
        next_.PointBegins(point, design);
    }
    void Progress(const BerPoint& point, const PointCounts& counts) override {
        next_.Progress(point, counts);
    }
    void PointDone(const BerPoint& point) override { next_.PointDone(point); }

  private:
    SweepReporter& next_;
    ConstraintSurveyRow& row_;
};

} // namespace

const Monitor* ConstraintSurveyRow::UserCounts(detectors::Kind kind) const {
    const auto at = std::find(point.kinds.begin(), point.kinds.end(), kind);
    if (at == point.kinds.end()) return nullptr;
    const std::size_t d = static_cast<std::size_t>(at - point.kinds.begin());
    const std::vector<Monitor>& counts =
        constraint == channel::ConstraintKind::kNone ? point.counts.detectors : point.counts.users;
    return d < counts.size() ? &counts[d] : nullptr;
}

int CodedFrame(int userBits, channel::ConstraintKind constraint) {
    if (constraint == channel::ConstraintKind::kNone) return userBits;
    const channel::ConstraintCode& code = channel::ConstraintCode::Of(constraint);
    return std::max(1, userBits / code.UserBits()) * code.CodeBits();
}

bool SurveyConstraints(const ConstraintSurveySettings& settings, const std::atomic<bool>& stop,
                       SweepReporter& reporter, std::vector<ConstraintSurveyRow>& rows) {
    std::vector<channel::ConstraintKind> kinds = settings.constraints;
    if (kinds.empty())
        for (const channel::ConstraintRow& row : channel::Constraints())
            if (channel::ConstraintCode::Of(row.kind).Exists()) kinds.push_back(row.kind);
    const std::vector<double> densities =
        settings.chain.Recording() ? settings.densities : std::vector<double>{0.0};
    for (double density : densities) {
        for (channel::ConstraintKind kind : kinds) {
            SweepSettings sweep;
            sweep.run = settings.run;
            sweep.run.frame = CodedFrame(settings.run.frame, kind);
            sweep.chains[0] = settings.chain;
            sweep.chains[0].constraint = kind;
            if (settings.chain.Recording()) sweep.chains[0].density = density;
            sweep.detectors = settings.detectors;
            if (settings.snrDb >= 0)
                sweep.snrDbs = {settings.snrDb};
            else
                sweep.sigmas = {settings.sigma};
            ConstraintSurveyRow row;
            row.density = density;
            row.constraint = kind;
            row.rate = sweep.chains[0].CodeRate();
            row.channelDensity = density / row.rate;
            DesignReporter design(reporter, row);
            std::vector<BerPoint> points;
            if (RunSweep(sweep, stop, design, points) != SweepEnd::kDone || points.empty())
                return false;
            row.point = points.front();
            rows.push_back(row);
        }
    }
    return true;
}

} // namespace engine
