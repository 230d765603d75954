#include "detectors/constrained.h"

#include <limits>
#include <vector>

#include "channel/encoder.h"
#include "detectors/npml.h"
#include "detectors/viterbi.h"

namespace detectors {

channel::Target Widened(const channel::Target& target, int memory) {
    std::vector<double> f = target.Coefficients();
    f.resize(static_cast<std::size_t>(memory + 1), 0.0);
    return channel::Target(f, target.Name()).WithNrzi();
}

namespace {

class ConstrainedDetector final : public Detector {
  public:
    ConstrainedDetector(Kind kind, const Setup& setup)
        : Detector(setup.shape), kind_(kind), encoder_(setup.target),
          row_(channel::ConstraintOf(setup.constraint)),
          memory_(channel::ConstrainedMemory(row_, setup.target.Memory())),
          nu_(setup.target.Memory()), wide_(Widened(setup.target, memory_)),
          mask_(channel::MaskOf(row_, memory_)) {
        if (kind == Kind::kNpml) predictor_ = setup.predictor;
        if (predictor_.size() > static_cast<std::size_t>(kMaxPredictorTaps))
            predictor_.resize(kMaxPredictorTaps);
    }
    Kind kind() const override { return kind_; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        for (int f = 0; f < count; ++f) One(y[f], raw[f]);
    }

  private:
    void One(const float* y, std::uint8_t* raw) {
        const channel::Trellis& t = wide_.GetTrellis();
        const int states = t.states, half = states / 2;
        const int n = shape().bits, steps = shape().Samples();
        const int taps = static_cast<int>(predictor_.size());
        const float inf = std::numeric_limits<float>::infinity();
        decisions_.assign(static_cast<std::size_t>(steps), 0);
        std::vector<float> pm(static_cast<std::size_t>(states), inf), next(pm.size());
        std::vector<float> e(pm.size() * kMaxPredictorTaps, 0.0f), ne(e.size(), 0.0f);
        pm[0] = 0.0f;
        for (int k = 0; k < steps; ++k) {
            std::uint64_t word = 0;
            for (int s = 0; s < states; ++s) {
                const int bit = s >> (t.memory - 1);
                const int s0 = 2 * (s & (half - 1));
                float m[2] = {inf, inf}, d[2] = {0, 0};
                for (int j = 0; j < 2; ++j) {
                    const int from = s0 + j;
                    if (!mask_.Allowed(k, n, (bit << t.memory) | from)) continue;
                    float pred = 0.0f;
                    if (taps > 0) {
                        const float* h = &e[static_cast<std::size_t>(from * kMaxPredictorTaps)];
                        pred = predictor_[0] * h[0];
                        for (int i = 1; i < taps; ++i)
                            pred = pred + predictor_[static_cast<std::size_t>(i)] * h[i];
                    }
                    d[j] = y[k] - t.Output(from, bit);
                    const float r = d[j] - pred;
                    m[j] = pm[static_cast<std::size_t>(from)] + r * r;
                }
                const int odd = m[1] < m[0] ? 1 : 0;
                next[static_cast<std::size_t>(s)] = m[odd];
                if (taps > 0) {
                    float* to = &ne[static_cast<std::size_t>(s * kMaxPredictorTaps)];
                    const float* h = &e[static_cast<std::size_t>((s0 + odd) * kMaxPredictorTaps)];
                    to[0] = d[odd];
                    for (int i = 1; i < taps; ++i) to[i] = h[i - 1];
                }
                word |= static_cast<std::uint64_t>(odd) << s;
            }
            pm.swap(next);
            e.swap(ne);
            if ((k & (kRenormPeriod - 1)) == kRenormPeriod - 1) {
                float low = pm[0];
                for (float v : pm) low = v < low ? v : low;
                if (low < inf)
                    for (float& v : pm) v = v - low;
            }
            decisions_[static_cast<std::size_t>(k)] = word;
        }
        // The end: with a tail, the newest nu bits are the tail's zeros.
        int end = -1;
        for (int s = 0; s < states; ++s) {
            if (shape().tail > 0 && (s >> (memory_ - nu_)) != 0) continue;
            if (end < 0 || pm[static_cast<std::size_t>(s)] < pm[static_cast<std::size_t>(end)])
                end = s;
        }
        prec_.resize(static_cast<std::size_t>(steps));
        int s = end;
        for (int k = steps - 1; k >= 0; --k) {
            prec_[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(s >> (t.memory - 1));
            s = t.Predecessor(
                s, static_cast<int>((decisions_[static_cast<std::size_t>(k)] >> s) & 1u));
        }
        encoder_.InversePrecode(prec_.data(), n, raw);
    }

    Kind kind_;
    channel::FrameEncoder encoder_;
    const channel::ConstraintRow& row_;
    int memory_, nu_;
    channel::Target wide_;
    channel::BranchMask mask_;
    std::vector<float> predictor_;
    std::vector<std::uint64_t> decisions_;
    std::vector<std::uint8_t> prec_;
};

} // namespace

std::unique_ptr<Detector> MakeConstrainedDetector(Kind kind, const Setup& setup) {
    return std::make_unique<ConstrainedDetector>(kind, setup);
}

} // namespace detectors
