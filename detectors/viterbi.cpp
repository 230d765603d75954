#include "detectors/viterbi.h"
#include "detectors/viterbi_int.h"

#include <bit>
#include <cassert>
#include <limits>

#include "channel/encoder.h"
#include "detectors/constrained.h"
#include "detectors/traceback.h"
#include "detectors/viterbi_kernels.h"

namespace detectors {

namespace viterbi_detail {

Branches BranchesOf(const channel::Trellis& trellis) {
    Branches b;
    b.memory = trellis.memory;
    b.states = trellis.states;
    for (int t = 0; t < trellis.states; ++t) {
        const int bit = t >> (trellis.memory - 1);
        for (int j = 0; j < 2; ++j) b.from[j][t] = trellis.Output(trellis.Predecessor(t, j), bit);
    }
    return b;
}

int BestState(const float* pm, int states) {
    int best = 0;
    for (int t = 1; t < states; ++t)
        if (pm[t] < pm[best]) best = t;
    return best;
}

template <typename Word>
void ForwardScalar(const Branches& b, const float* y, int steps, int period, Word* decisions,
                   int stride, float* pmOut) {
    const int states = b.states;
    const int half = states / 2;
    float pm[channel::kMaxStates];
    float next[channel::kMaxStates];
    pm[0] = 0.0f;
    for (int t = 1; t < states; ++t) pm[t] = std::numeric_limits<float>::infinity();
    for (int k = 0; k < steps; ++k) {
        Word word = 0;
        for (int t = 0; t < states; ++t) {
            const int s0 = 2 * (t & (half - 1));
            const float d0 = y[k] - b.from[0][t];
            const float m0 = pm[s0] + d0 * d0;
            const float d1 = y[k] - b.from[1][t];
            const float m1 = pm[s0 + 1] + d1 * d1;
            const bool odd = m1 < m0;
            next[t] = odd ? m1 : m0;
            word |= static_cast<Word>(odd) << t;
        }
        for (int t = 0; t < states; ++t) pm[t] = next[t];
        if ((k & (period - 1)) == period - 1) {
            float low = pm[0];
            for (int t = 1; t < states; ++t) low = pm[t] < low ? pm[t] : low;
            for (int t = 0; t < states; ++t) pm[t] = pm[t] - low;
        }
        decisions[static_cast<std::size_t>(k) * static_cast<std::size_t>(stride)] = word;
    }
    for (int t = 0; t < states; ++t) pmOut[t] = pm[t];
}

template void ForwardScalar<std::uint32_t>(const Branches&, const float*, int, int, std::uint32_t*,
                                           int, float*);
template void ForwardScalar<std::uint64_t>(const Branches&, const float*, int, int, std::uint64_t*,
                                           int, float*);

} // namespace viterbi_detail

using namespace viterbi_detail;

void ViterbiPlain(const channel::Target& target, const float* y, int n, int tail,
                  std::uint8_t* raw) {
    // The scalar forward pass, then the textbook traceback to precoder bits
    // and the inverse precoder as a pass of its own.
    assert(tail == 0 || tail == target.Memory());
    const Branches b = BranchesOf(target.GetTrellis());
    const int steps = n + tail;
    std::vector<std::uint64_t> decisions(static_cast<std::size_t>(steps));
    float pm[channel::kMaxStates];
    ForwardScalar(b, y, steps, kRenormPeriod, decisions.data(), 1, pm);
    PlainTraceback(target, decisions.data(), n, tail, pm, raw);
}

void viterbi_detail::PlainTraceback(const channel::Target& target, const std::uint64_t* decisions,
                                    int n, int tail, const float* pm, std::uint8_t* raw) {
    PlainTracebackFrom(target, decisions, n, tail,
                       tail > 0 ? 0 : BestState(pm, target.GetTrellis().states), raw);
}

void viterbi_detail::PlainTracebackFrom(const channel::Target& target,
                                        const std::uint64_t* decisions, int n, int tail, int end,
                                        std::uint8_t* raw) {
    const channel::Trellis& t = target.GetTrellis();
    const int steps = n + tail;
    std::vector<std::uint8_t> prec(static_cast<std::size_t>(steps));
    int s = end;
    for (int k = steps - 1; k >= 0; --k) {
        const std::size_t at = static_cast<std::size_t>(k);
        prec[at] = static_cast<std::uint8_t>(s >> (t.memory - 1));
        s = t.Predecessor(s, static_cast<int>((decisions[at] >> s) & 1u));
    }
    channel::FrameEncoder(target).InversePrecode(prec.data(), n, raw);
}

struct Viterbi::Impl {
    channel::Target target;
    Branches branches;
    viterbi_detail::Traceback traceback;
    Kernel kernel;
    bool fast = true; // up to kMaxFastStates states
    std::vector<std::uint32_t> d0, d1;
    std::vector<std::uint64_t> wide;
    std::vector<std::uint32_t> words; // the traceback's scratch

    Impl(const channel::Target& t, Kernel k)
        : target(t), branches(BranchesOf(t.GetTrellis())), traceback(t), kernel(k),
          fast(t.States() <= kMaxFastStates) {}

    void Reserve(std::vector<std::uint32_t>& d, std::size_t size) {
        if (d.size() < size) d.resize(size);
    }
    int End(const float* pm, int tail) const {
        return tail > 0 ? 0 : BestState(pm, branches.states);
    }
};

Viterbi::Viterbi(const channel::Target& target) : Viterbi(target, BestKernel()) {}

Viterbi::Viterbi(const channel::Target& target, viterbi_detail::Kernel kernel)
    : impl_(new Impl(target, kernel)) {}

Viterbi::~Viterbi() {
    delete impl_;
}

void Viterbi::Detect(const float* y, int n, int tail, std::uint8_t* raw) {
    Impl& m = *impl_;
    assert(tail == 0 || tail == m.target.Memory());
    const int steps = n + tail;
    float pm[channel::kMaxStates];
    if (!m.fast) {
        if (m.wide.size() < static_cast<std::size_t>(steps))
            m.wide.resize(static_cast<std::size_t>(steps));
        ForwardScalar(m.branches, y, steps, kRenormPeriod, m.wide.data(), 1, pm);
        m.traceback.Run(m.wide.data(), n, tail, m.End(pm, tail), raw);
        return;
    }
    m.Reserve(m.d0, static_cast<std::size_t>(steps));
    ForwardWith(m.kernel, m.branches, y, steps, m.d0.data(), pm);
    m.traceback.Run(m.d0.data(), n, tail, m.End(pm, tail), raw);
}

void Viterbi::DetectPair(const float* y0, const float* y1, int n, int tail, std::uint8_t* raw0,
                         std::uint8_t* raw1) {
    Impl& m = *impl_;
    if (!m.fast) {
        Detect(y0, n, tail, raw0);
        Detect(y1, n, tail, raw1);
        return;
    }
    const int steps = n + tail;
    m.Reserve(m.d0, 2 * static_cast<std::size_t>(steps));
    float pm0[channel::kMaxStates], pm1[channel::kMaxStates];
    const float* y[2] = {y0, y1};
    float* pm[2] = {pm0, pm1};
    ForwardFramesWith(m.kernel, m.branches, 2, y, steps, kRenormPeriod, m.d0.data(), 2, pm);
    m.traceback.Run(m.d0.data(), n, tail, m.End(pm0, tail), raw0, 2);
    m.traceback.Run(m.d0.data() + 1, n, tail, m.End(pm1, tail), raw1, 2);
}

void Viterbi::DetectFrames(int count, const float* const* y, int n, int tail,
                           std::uint8_t* const* raw) {
    Impl& m = *impl_;
    if (!m.fast) {
        for (int f = 0; f < count; ++f) Detect(y[f], n, tail, raw[f]);
        return;
    }
    const int steps = n + tail;
    m.Reserve(m.d0, static_cast<std::size_t>(steps) * kMaxFrames);
    float pm[kMaxFrames][channel::kMaxStates];
    float* pms[kMaxFrames];
    for (int f = 0; f < kMaxFrames; ++f) pms[f] = pm[f];
    for (int first = 0; first < count; first += kMaxFrames) {
        const int frames = count - first < kMaxFrames ? count - first : kMaxFrames;
        ForwardFramesWith(m.kernel, m.branches, frames, y + first, steps, kRenormPeriod,
                          m.d0.data(), kMaxFrames, pms);
        int end[kMaxFrames] = {};
        for (int f = 0; f < frames; ++f) end[f] = m.End(pm[f], tail);
        m.traceback.RunFrames(m.kernel, frames, m.d0.data(), n, tail, end, raw + first, m.words);
    }
}

namespace {

class ViterbiDetector final : public Detector {
  public:
    explicit ViterbiDetector(const Setup& setup) : Detector(setup.shape), viterbi_(setup.target) {}
    Kind kind() const override { return Kind::kViterbi; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        viterbi_.DetectFrames(count, y, shape().bits, shape().tail, raw);
    }

  private:
    Viterbi viterbi_;
};

} // namespace

std::string ViterbiWhyNot(const Where&) {
    return {};
}

std::unique_ptr<Detector> MakeViterbiDetector(const Setup& setup) {
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedDetector(Kind::kViterbi, setup);
    if (setup.converter != nullptr)
        return MakeQuantizedViterbi(setup.target, setup.shape, *setup.converter);
    return std::make_unique<ViterbiDetector>(setup);
}

} // namespace detectors
