#include "detectors/survivors.h"

#include <cassert>

#include "channel/encoder.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_kernels.h"

namespace detectors {

Survivors TraceSurvivors(const channel::Target& target, const float* y, int n, int tail) {
    using namespace viterbi_detail;
    assert(n >= 1 && (tail == 0 || tail == target.Memory()));
    const channel::Trellis& trellis = target.GetTrellis();
    Survivors s;
    s.bits = n;
    s.steps = n + tail;
    const std::size_t steps = static_cast<std::size_t>(s.steps);
    s.decisions.resize(steps);
    s.metrics.resize(static_cast<std::size_t>(trellis.states));
    ForwardScalar(BranchesOf(trellis), y, s.steps, kRenormPeriod, s.decisions.data(), 1,
                  s.metrics.data());
    s.path.resize(steps);
    s.prec.resize(steps);
    int state = tail > 0 ? 0 : BestState(s.metrics.data(), trellis.states);
    for (int k = s.steps - 1; k >= 0; --k) {
        const std::size_t at = static_cast<std::size_t>(k);
        s.path[at] = state;
        s.prec[at] = static_cast<std::uint8_t>(state >> (trellis.memory - 1));
        state = s.From(trellis, k, state);
    }
    s.raw.resize(static_cast<std::size_t>(n));
    channel::FrameEncoder(target).InversePrecode(s.prec.data(), n, s.raw.data());
    return s;
}

} // namespace detectors
