#include "engine/target_survey.h"

#include <cmath>

#include "channel/bounds.h"
#include "channel/equalizer.h"
#include "channel/head.h"
#include "channel/readback.h"

namespace engine {

std::vector<SurveyRow> SurveyTargets(const SurveySettings& settings) {
    std::vector<SurveyRow> rows;
    for (double density : settings.densities) {
        const channel::Head head(settings.head, density);
        const double sigma = channel::SigmaOfSnr(head.BitEnergy(), settings.snrDb);
        const channel::InputStatistics statistics =
            channel::Readback(head, settings.jitter, false).Statistics(sigma);
        auto add = [&](const std::string& name, const channel::Equalizer& e) {
            const double d2min = e.target.D2Min();
            rows.push_back({density, name, e.target.CoefficientText(), e.delay, e.mse, d2min,
                            10 * std::log10(d2min / e.mse)});
        };
        for (const char* name : {"pr4", "epr4", "e2pr4", "e3pr4"}) {
            channel::Target target;
            channel::Target::Parse(name, target);
            add(name, channel::DesignEqualizer(statistics, target, settings.taps));
        }
        for (int l = channel::kMinGpr; l <= channel::kMaxGpr; ++l)
            add("gpr" + std::to_string(l),
                channel::DesignGeneralizedTarget(statistics, l, settings.taps));
    }
    return rows;
}

} // namespace engine
