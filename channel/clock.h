#pragma once
// The receiver's sampling clock and the loop that steers it, in bit periods
// (T = 1).
//
// The clock's own instants are t_k = k + tau_k: tau_0 = `phase`, a frequency
// offset of `freqPpm` parts per million of the bit rate (tau grows by
// freqPpm 1e-6 a bit) and a random walk of deviation `walk` a bit:
//     tau_k = phase + freqPpm 1e-6 k + w_k,  w_k = w_{k-1} + walk N(0,1).
// The loop's recovered phase theta_k is taken off, so sample k is read at
// k + tau_k - theta_k, and tau_k - theta_k is the timing error.
//
// The loop, per step with e the timing-error detector's output scaled to bit
// periods:  nu += ki e;  theta += kp e + nu  (a proportional-plus-integral
// filter driving an accumulator). From the noise bandwidth B_L T and the
// damping zeta (the discrete second-order loop's design):
//     theta_n = B_L / (zeta + 1 / (4 zeta)),  d = 1 + 2 zeta theta_n + theta_n^2,
//     kp = 4 zeta theta_n / d,  ki = 4 theta_n^2 / d;
// a first-order loop (ki = 0) of the same noise bandwidth has kp = 4 B_L /
// (1 + 2 B_L), and lags a frequency offset by freqPpm 1e-6 / kp.
#include <vector>

namespace channel {

inline constexpr double kMaxPhase = 1;        // |phase|, bit periods
inline constexpr double kMaxFreqPpm = 10000;  // |freq offset|
inline constexpr double kMaxPhaseWalk = 0.02; // deviation a bit
inline constexpr int kMinPreamble = 32;       // bits
inline constexpr int kMaxPreamble = 4096;
inline constexpr double kMinLoopBandwidth = 1e-5; // B_L T
inline constexpr double kMaxLoopBandwidth = 0.1;
inline constexpr double kMinDamping = 0.1;
inline constexpr double kMaxDamping = 10;
inline constexpr int kMaxDecisionDelay = 48; // the Viterbi detector's early decisions

// Where the timing-error detector's tentative decisions come from.
enum class TedDecisions { kSlicer, kViterbi };

struct TimingSettings {
    bool on = false; // timing modelled: a preamble, the clock and the loop
    double phase = 0;
    double freqPpm = 0;
    double walk = 0;
    int preamble = 128;       // bits of the 2T pattern before each frame
    double bandwidth = 0.002; // B_L T
    double damping = 0.7071067811865476;
    int order = 2; // 1: no integral path
    TedDecisions decisions = TedDecisions::kSlicer;
    int decisionDelay = 8; // samples, the Viterbi detector's
};

struct LoopGains {
    double kp = 0;
    double ki = 0;
};
LoopGains GainsOf(const TimingSettings& settings);

// The closed loop's response theta_m to a unit error-detector output at step
// 0 (the loop at rest), the update reaching the sampling phase `delay` steps
// later than at once: `steps` values.
std::vector<double> LoopImpulse(const LoopGains& gains, int delay, int steps);

// The linear model's variance of the timing error: the detector's noise of
// autocorrelation r[l] (l = 0 ... size - 1, bit periods squared) through the
// closed loop: Sum_l r(l) Sum_m h_m h_{m+l}.
double LinearPhaseVariance(const LoopGains& gains, int delay, const std::vector<double>& r);

} // namespace channel
