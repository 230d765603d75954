#pragma once
// The equalizer: an FIR filter of the readback designed for the least
// mean-squared error to a target's levels, for independent equiprobable
// data at the operating noise and jitter (channel/readback.h gives the
// statistics, exact for its model). Optionally the target itself is
// designed with it: a monic generalised partial-response target.
//
// The filter sees x_j - offset, the readback less its mean, and gives
//     z_k = Sum_i w_i (x_{k+delay-i} - offset) + Sum_m f_m / 2,
// designed so that z_k - Sum f_m / 2 is near d_k = Sum_m f_m a_{k-m} / 2;
// then z_k is near the trellis's level Sum_m f_m p_{k-m}, whatever the target.
// The delay is the one of least error.
#include <vector>

#include "channel/readback.h"
#include "channel/target.h"

namespace channel {

inline constexpr int kMinTaps = 3;
inline constexpr int kMaxTaps = 63;
inline constexpr int kMaxPredictor = 4;
inline constexpr int kMinGpr = 2;
inline constexpr int kMaxGpr = 6;
inline constexpr int kErrorLags = 32;

struct Equalizer {
    Target target;            // what it equalizes to (a designed one for gprL)
    std::vector<double> taps; // w_0 ... w_{N-1}
    int delay = 0;
    double offset = 0;
    double mse = 0; // the designed E[(z_k - level_k)^2]
    // r(l) = E[e_k e_{k+l}] of the error e_k = z_k - level_k, l = 0 ...
    // kErrorLags - 1: for the predictor and for the union bound.
    std::vector<double> errorCorrelation;

    int Taps() const { return static_cast<int>(taps.size()); }
    // The readback samples output k needs: k + delay - N + 1 ... k + delay.
    int FirstInput(int k) const { return k + delay - Taps() + 1; }
    int LastInput(int k) const { return k + delay; }
};

// The least-error equalizer of `taps` taps (odd) to `target`.
Equalizer DesignEqualizer(const InputStatistics& statistics, const Target& target, int taps);

// A monic target of `length` + 1 real taps designed jointly with the
// equalizer for the least error (f = M^-1 e_0 / e_0' M^-1 e_0 for the error's
// quadratic form M in f), named "gprL".
Equalizer DesignGeneralizedTarget(const InputStatistics& statistics, int length, int taps);

// The `order` taps of the best linear predictor of a stationary sequence
// from its autocorrelation r(0 ... order) (the normal equations, solved by
// Eigen): e_k ~ Sum_i p_i e_{k-i}.
std::vector<double> DesignPredictor(const std::vector<double>& correlation, int order);
// The variance of what such a predictor leaves: r(0) - Sum_i p_i r(i + 1).
double PredictionVariance(const std::vector<double>& correlation, const std::vector<double>& p);

// z_k, k = 0 ... count - 1, from readback samples x[j - first] (the equalizer
// must find every input it needs there), in float: each output its taps in
// order, then the constant.
void Equalize(const Equalizer& equalizer, const float* x, int first, int count, float* z);

} // namespace channel
