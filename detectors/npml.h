#pragma once
// Noise-predictive maximum-likelihood detection: the Viterbi detector's
// trellis, with the equalized noise's colour taken out along each survivor.
//
// Each state keeps the noise estimates e_{k-1}, e_{k-2}, ... of its survivor
// path (e_j = y_j - the path's ideal sample at j, 0 before the frame). The
// branch from state s with new bit b then has the metric
//     (y_k - ideal(s, b) - Sum_i p_i e_{k-1-i}(s))^2,
// the prediction error of a P-tap whitening predictor p (designed from the
// noise's autocorrelation, channel/equalizer.h), evaluated as
// d = y - ideal; pred = p_0 e_0 + p_1 e_1 + ... left to right; r = d - pred;
// r * r, all in float. Everything else is the Viterbi detector's rules
// (detectors/viterbi.h): ties, renormalisation, the tail, the traceback. With
// every tap 0 the metrics, and so the decisions, are exactly the Viterbi
// detector's.
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "detectors/table.h"

namespace detectors {

inline constexpr int kMaxPredictorTaps = 4;

// Plain scalar detector: the oracle. 1 ... 4 taps.
void NpmlPlain(const channel::Target& target, const std::vector<float>& predictor, const float* y,
               int n, int tail, std::uint8_t* raw);

// The fast detector: the same decisions, every state at once in AVX-512
// registers for targets of memory up to 5 where the processor has them.
class Npml {
  public:
    Npml(const channel::Target& target, const std::vector<float>& predictor);
    ~Npml();
    Npml(const Npml&) = delete;
    Npml& operator=(const Npml&) = delete;

    void Detect(const float* y, int n, int tail, std::uint8_t* raw);
    // Two frames of the same length side by side: the same bits, faster.
    void DetectPair(const float* y0, const float* y1, int n, int tail, std::uint8_t* raw0,
                    std::uint8_t* raw1);

  private:
    struct Impl;
    Impl* impl_;
};

// npml's row of the detector table: it predicts the noise an equalizer
// colours, so it runs on a head, with the predictor the channel designed.
std::string NpmlWhyNot(const Where& where);
std::unique_ptr<Detector> MakeNpmlDetector(const Setup& setup);

} // namespace detectors
