#pragma once
// The channel's noiseless output at any instant, not only at the integers:
// what a receiver whose clock is off reads. On the ideal channel the target's
// sinc-interpolated waveform y(t) = Sum_j p_j h(t - j), h(t) = Sum_m f_m
// sinc(t - m) (over +-kIdealSpan bit periods); on a head its low-passed
// readback Sum_j p_j h(t - j), h(t) = g_LP(t) - g_LP(t - 1) over +-Span(),
// plus each jittered transition's term b_k (g_LP(t - k - Delta_k) - g_LP(t -
// k)) within kJitterReach of t (channel/readback.h's model).
//
// h is tabulated at kPhases phases a bit period and an instant takes the
// nearest, at most 1 / (2 kPhases) of a bit period away; at the integers the
// table is h itself, so the ideal channel's samples there are the target's
// levels exactly (integer targets). Each sample is one dot product in a fixed
// order of additions, the same on every processor.
//
// The jitter terms, two ways. At(kernel, ...) and AtPlain sum them one
// transition after the other from Readback::TransitionAt at t itself (the
// same floats from both). At(t, frame), what the receiver reads, takes t's
// nearest phase t_q for the whole sample and, for every transition with
// |Delta_k| <= kExpandedShift = D, replaces its term by a polynomial in
// Delta_k: b_k (g_LP(x - Delta) - g_LP(x)) = b_k Sum_{n=1}^{N} a_n(x)
// (Delta / D)^n + e(x, Delta), x = t_q - k, N = kExpansionOrders, the a_n
// interpolating the term at N + 1 Chebyshev nodes in Delta (0 among them,
// rounded to whole phases) from g_LP itself. The terms then sum as one more
// dot product at t_q's phase, N floats a bit: per-bit coefficients b_k
// (Delta_k / D)^n side by side (made once a frame, 0 at the bits without a
// transition) against the a_n side by side over the transitions within
// kJitterReach (tabulated once a head and density from g_LP on a grid of 1 /
// kPhases, each phase's right after its row of the bit response: what an
// instant reads is one stretch of memory). Transitions with a larger Delta
// (clamped to kMaxJitterShift) keep their exact term, at t_q.
//
// N = 4 and D = 0.2 (four deviations of the jitter of 0.05; 6e-5 of its
// transitions take the exact term). The expansion's error against g_LP
// itself, measured (every phase a 64th, Delta every D / 100) as the worst
// instant's sum over the transitions in reach of each one's worst |e| on
// |Delta| <= D: 5.8e-5 on the erf head at density 0.5, 3.2e-5 at 1.0,
// 3.9e-5 on the Lorentzian at 0.5, 3.7e-5 at 1.0, 1.0e-5 at 2.5, less at
// higher densities (kExpansionError bounds them all). The nearest phase's
// own error, |y'(t)| / (2 kPhases) at most, is 15 to 28 times that: |y'|
// reaches 1.18 on the Lorentzian head at density 2.5 (2.9e-4), 2.38 at 1.0
// (5.8e-4), 3.59 on the erf head at 0.5 (8.8e-4). (Degree 6 with D = 0.25
// was some two thousand times below it, 5.9e-7 at most, and read half as
// many floats again an instant; the plain sum's own interpolation of
// TransitionAt's table is off g_LP by up to about 1e-5 an instant, the erf
// head at 0.5.)
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/noise.h"
#include "channel/readback.h"
#include "channel/target.h"

namespace channel {

inline constexpr int kIdealSpan = 64;

// The expanded jitter terms (At(t, frame)): transitions with |Delta| up to
// kExpandedShift, polynomials of degree kExpansionOrders in Delta, over
// kExpansionRow bits (the transitions within kJitterReach of an instant off
// the whole phases), the orders of a bit side by side.
inline constexpr int kExpansionOrders = 4;
inline constexpr double kExpandedShift = 0.2;
inline constexpr int kExpansionRow = 2 * kJitterReach;
inline constexpr double kExpansionError = 6e-5;

// A frame's written bits as the sampler reads them, one for each thread.
struct SamplerFrame {
    std::vector<float> bits; // p_j at j + base
    int base = 0;
    int n = 0;
    // The transitions, with Readback::kJitterPad entries of padding after
    // the `transitions` real ones.
    int transitions = 0;
    std::vector<int> at;         // their bit positions k, ascending
    std::vector<float> sign;     // their b_k = +-1
    std::vector<double> delta;   // their jitter Delta_k
    std::vector<int> before;     // [m]: the transitions at k < m, m = 0 ... n + 1
    std::vector<double> deviate; // scratch for the draws
    // With jitter, for At(t, frame): the transitions with |Delta| <=
    // kExpandedShift as coefficients, order n (0 ... kExpansionOrders - 1) at
    // expanded[(k + base) kExpansionOrders + n] = b_k (Delta_k /
    // kExpandedShift)^(n + 1), 0 at the other bits; the others as at ... before are for all
    // (wideBefore empty: no jitter).
    std::vector<float> expanded;
    int wide = 0;
    std::vector<int> wideAt;
    std::vector<float> wideSign;
    std::vector<double> wideDelta;
    std::vector<int> wideBefore;
};

class Sampler {
  public:
    explicit Sampler(const Target& target);
    // A head's readback; with jitter its transition table (Read's) is used.
    explicit Sampler(std::shared_ptr<const Readback> readback);

    static constexpr int kPhases = 2048;

    bool Recording() const { return readback_ != nullptr; }
    int Span() const { return span_; }
    // h(t) itself, in double: for designs, not for frames.
    double BitResponseAt(double t) const;

    // The precoder bits prec[0 ... n - 1] (all others 0) into `frame`; on a
    // head with jitter one deviate per transition (the one after the last
    // bit too) from `source`, in order, as Readback::Read draws them
    // (`jitter` false: none drawn, every transition where it belongs).
    void Load(const std::uint8_t* prec, int n, NoiseSource& source, SamplerFrame& frame,
              bool jitter = true) const;
    // The noiseless output at t, the receiver's: without jitter At(kernel,
    // ...)'s; with it the whole sample at t's nearest phase, the jitter terms
    // of the transitions within kExpandedShift from their expansion (above).
    float At(double t, const SamplerFrame& frame) const;
    // The output at t with the jitter terms made one by one by `kernel` (one
    // the processor runs): the same floats from each.
    float At(JitterKernel kernel, double t, const SamplerFrame& frame) const;
    // The same, its jitter terms one transition after the other: At's oracle.
    float AtPlain(double t, const SamplerFrame& frame) const;

    // The output at t without jitter terms: At's on a frame with no
    // transitions (Load without jitter, or no jitter on the channel).
    float Unjittered(double t, const SamplerFrame& frame) const;

  private:
    // The jitter terms at t (Readback::JitterTerms) into term; their count.
    int Terms(JitterKernel kernel, double t, const SamplerFrame& frame, float* term) const;
    // The same of the transitions in at ... before (count of them).
    int Terms(JitterKernel kernel, double t, const int* at, const float* sign, const double* delta,
              const std::vector<int>& before, float* term) const;
    void Tabulate();
    std::shared_ptr<const std::vector<float>> Make() const;
    std::shared_ptr<const std::vector<float>> MakeExpansion() const;

    Target target_;
    std::shared_ptr<const Readback> readback_;
    int span_ = 0;
    int width_ = 0; // of a row: 2 span + 2, padded to whole vectors
    // [r][i] = h(span - i + r / kPhases): shared by every sampler of the same
    // head and density (or target, on the ideal channel), made once.
    std::shared_ptr<const std::vector<float>> rows_;
    const float* table_ = nullptr;
    // With jitter, a block of BlockFloats() for each phase r = 0 ... kPhases,
    // from blocks_ on, what At(t, frame) reads at r in one stretch: the row
    // of rows_, then [i][n] = a_{n+1}(kJitterReach - 1 - i + r / kPhases) (r
    // = 1 ... kPhases - 1; block 0's a_{n+1}(kJitterReach - i), block
    // kPhases's first a_{n+1}(-kJitterReach)).
    std::size_t BlockFloats() const {
        return static_cast<std::size_t>(width_ + kExpansionOrders * kExpansionRow);
    }
    std::shared_ptr<const std::vector<float>> expansion_;
    const float* blocks_ = nullptr;
    JitterKernel kernel_ = Readback::BestJitterKernel();
};

} // namespace channel
