#include "detectors/npbcjr.h"

#include <cassert>

#include "channel/head.h"
#include "detectors/constrained_soft.h"
#include "detectors/forward_backward.h"
#include "detectors/soft_detector.h"

namespace detectors {

void WhitenedMetrics(const SoftTrellis& t, const channel::Target& target,
                     const std::vector<float>& predictor, float factor, const float* y, int steps,
                     float* metric) {
    const channel::Trellis& base = target.GetTrellis();
    const int P = static_cast<int>(predictor.size()), M = t.memory, mask = base.states - 1;
    const int branches = t.Branches();
    std::vector<float> yc(static_cast<std::size_t>(steps));
    for (int k = 0; k < steps; ++k) yc[static_cast<std::size_t>(k)] = Clamp(y[k], t.low, t.high);
    // ideal[w * (P + 1) + i]: the ideal sample of branch w at step k - i.
    std::vector<float> ideal(static_cast<std::size_t>(branches * (P + 1)));
    for (int w = 0; w < branches; ++w)
        for (int i = 0; i <= P; ++i)
            ideal[static_cast<std::size_t>(w * (P + 1) + i)] =
                base.Output((w >> (P - i)) & mask, (w >> (M - i)) & 1);
    float e[kMaxPredictorBits + 1];
    for (int k = 0; k < steps; ++k) {
        float* row = metric + static_cast<std::size_t>(k) * static_cast<std::size_t>(branches);
        for (int w = 0; w < branches; ++w) {
            const float* id = ideal.data() + static_cast<std::size_t>(w * (P + 1));
            for (int i = 0; i <= P; ++i)
                e[i] = k - i >= 0 ? yc[static_cast<std::size_t>(k - i)] - id[i] : 0.0f;
            float pred = predictor[0] * e[1];
            for (int i = 1; i < P; ++i)
                pred = pred + predictor[static_cast<std::size_t>(i)] * e[i + 1];
            const float r = e[0] - pred;
            row[w] = (r * r) * factor;
        }
    }
}

LaneMetrics WhitenedLaneMetrics(const SoftTrellis& t, const channel::Target& target,
                                const std::vector<float>& predictor) {
    const channel::Trellis& base = target.GetTrellis();
    const int P = static_cast<int>(predictor.size()), M = t.memory, mask = base.states - 1;
    const int branches = t.Branches();
    LaneMetrics m;
    m.classes = branches;
    m.tables = P + 1;
    m.taps = predictor;
    m.classOf.resize(static_cast<std::size_t>(branches));
    m.constants.resize(static_cast<std::size_t>(m.tables * branches));
    for (int w = 0; w < branches; ++w) {
        m.classOf[static_cast<std::size_t>(w)] = w;
        auto ideal = [&](int i) { return base.Output((w >> (P - i)) & mask, (w >> (M - i)) & 1); };
        // Table j: the first j older terms are in the frame.
        for (int j = 0; j <= P; ++j) {
            float c = ideal(0);
            if (j >= 1) {
                float pred = predictor[0] * ideal(1);
                for (int i = 1; i < j; ++i)
                    pred = pred + predictor[static_cast<std::size_t>(i)] * ideal(i + 1);
                c = c - pred;
            }
            m.constants[static_cast<std::size_t>(j * branches + w)] = c;
        }
    }
    return m;
}

void NpbcjrPlain(const SoftTrellis& t, const channel::Target& target,
                 const std::vector<float>& predictor, double variance, const float* y, int n,
                 int tail, const float* apriori, bool extrinsic, float* llr, std::uint8_t* raw) {
    const int steps = n + tail;
    const bool noiseless = Noiseless(variance);
    std::vector<float> metric(static_cast<std::size_t>(steps) *
                              static_cast<std::size_t>(t.Branches()));
    WhitenedMetrics(t, target, predictor, MetricFactor(variance), y, steps, metric.data());
    std::vector<float> la;
    if (apriori != nullptr && !noiseless)
        for (int k = 0; k < n; ++k) la.push_back(ClampApriori(apriori[k]));
    std::vector<float> e(static_cast<std::size_t>(n));
    ForwardBackwardPlain(t, noiseless ? SoftMode::kMaxLog : SoftMode::kExact, metric.data(), n,
                         steps, tail > 0, la.empty() ? nullptr : la.data(), e.data());
    FinishRatios(n, noiseless, e.data(), la.empty() ? nullptr : la.data(), extrinsic, llr, raw);
}

namespace {

class NpbcjrDetector final : public SoftDetector {
  public:
    explicit NpbcjrDetector(const Setup& setup)
        : SoftDetector(setup.shape), target_(setup.target), predictor_(setup.predictor),
          trellis_(MakeSoftTrellis(setup.target, static_cast<int>(setup.predictor.size()))),
          variance_(setup.predictionVariance) {
        lanes_.metrics = WhitenedLaneMetrics(trellis_, target_, predictor_);
    }
    Kind kind() const override { return Kind::kNpbcjr; }

  protected:
    void Frames(int count, const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw) override {
        if (LanesTake(trellis_)) {
            LaneFrames(trellis_, true, variance_, shape(), count, y, apriori, extrinsic, llr, raw,
                       lanes_);
            return;
        }
        for (int f = 0; f < count; ++f)
            NpbcjrPlain(trellis_, target_, predictor_, variance_, y[f], shape().bits, shape().tail,
                        apriori != nullptr ? apriori[f] : nullptr, extrinsic, llr[f], raw[f]);
    }

  private:
    channel::Target target_;
    std::vector<float> predictor_;
    SoftTrellis trellis_;
    double variance_;
    LaneRun lanes_;
};

} // namespace

std::string NpbcjrWhyNot(const Where& where) {
    if (!where.coloured)
        return "npbcjr predicts the noise an equalizer colours; the ideal channel's is white "
               "(choose --channel " +
               channel::HeadNames() + ")";
    return {};
}

std::unique_ptr<Detector> MakeNpbcjrDetector(const Setup& setup) {
    assert(!setup.predictor.empty() &&
           static_cast<int>(setup.predictor.size()) <= kMaxPredictorBits);
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedSoftDetector(Kind::kNpbcjr, setup);
    return std::make_unique<NpbcjrDetector>(setup);
}

} // namespace detectors
