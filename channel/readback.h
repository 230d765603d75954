#pragma once
// The sampled readback of a head: the low-passed response to a frame's
// transitions, each of them jittered, at every integer t.
//
// The write current a_k = 2 p_k - 1 (every bit before and after the frame
// 0) changes at the transitions b_k = (a_k - a_{k-1}) / 2 = p_k - p_{k-1};
// transition k lands at k + Delta_k, Delta_k Gaussian of deviation `jitter`
// bit periods (clamped to +-kMaxJitterShift), and the readback is
//     x_j = Sum_k b_k g_LP(j - k - Delta_k).
// Without the jitter that is Sum_k p_k h[j - k] with h[n] = g_LP(n) -
// g_LP(n - 1) the bit response's samples, which is how the jitter-free part
// is summed (bit response over +-Span()); each transition then adds its
// jitter term T_Delta[n] = g_LP(n - Delta) - g_LP(n) over +-kJitterReach,
// from a table of 1024 phases per bit period: Delta moves to the nearest,
// at most 1/2048 of a bit period away.
#include <cstdint>
#include <vector>

#include "channel/head.h"
#include "channel/noise.h"

namespace channel {

// The versions of the jitter terms (Readback::JitterTerms):
// the same floats from each.
enum class JitterKernel { kScalar, kAvx2, kAvx512 };

inline constexpr double kMaxJitter = 0.3;
inline constexpr int kJitterSpan = 40;
inline constexpr int kJitterReach = kJitterSpan;
inline constexpr double kMaxJitterShift = 3.99;

// The second-order statistics of an equalizer's input for independent
// equiprobable data a_k = +-1: x_j - offset = Sum_k a_k q[j - k] + J_j + n_j,
// J the jitter's zero-mean part and n white noise of variance `noise`.
struct InputStatistics {
    std::vector<double> q; // q[n] at index n - qFirst
    int qFirst = 0;
    std::vector<double> jitter; // E[J_j J_{j+l}], l = 0 ... size - 1
    double noise = 0;
    double offset = 0; // the readback's mean

    double Q(int n) const {
        const int i = n - qFirst;
        return i >= 0 && i < static_cast<int>(q.size()) ? q[static_cast<std::size_t>(i)] : 0.0;
    }
    // E[(x_j - offset)(x_{j+l} - offset)].
    double Correlation(int l) const;
};

// What Read needs besides the readback's tables, one for each thread that
// reads (the tables are shared).
struct ReadScratch {
    std::vector<int> transitions;
    std::vector<double> deviates;
};

class Readback {
  public:
    // `simulate` false: only the statistics are wanted, not Read's tables.
    Readback(const Head& head, double jitter, bool simulate = true);

    const Head& head() const { return head_; }
    double jitter() const { return jitter_; }
    int Span() const { return span_; }
    // h[n], n = -Span() ... Span().
    double BitResponse(int n) const;
    // The readback's mean over random data: half the sum of the bit response.
    double Offset() const { return offset_; }

    // Samples x_j, j = first ... first + count - 1, of the precoder bits
    // prec[0 ... n-1] (all others 0). With jitter, one deviate per
    // transition is drawn from `source`, in the order of the transitions.
    void Read(const std::uint8_t* prec, int n, int first, int count, NoiseSource& source,
              ReadScratch& scratch, float* out) const;

    // The bit response between the samples too: table[i] = h_LP((i - 600) /
    // 10), the layout of the window's pulse table (channel/waveform.h).
    void Pulse(float* table) const;
    // g_LP(t) from Read's table, |t| <= kJitterSpan + 4 (with jitter only).
    float TransitionAt(double t) const;
    // The jitter terms at t of `count` transitions, in their order:
    // term[i] = sign[i] (TransitionAt(t - at[i] - delta[i]) - TransitionAt(t -
    // at[i])), each |t - at[i]| <= kJitterReach, count <= kMostJitterTerms;
    // returns count. Those exact float operations, four transitions at once
    // with `kernel` kAvx2, eight with kAvx512 (at, sign and delta are read up
    // to kJitterPad entries beyond count, term written up to
    // kMostJitterTerms); the kernel must be one the processor runs. The
    // sample is then y + term[0] + term[1] + ..., added in that order.
    int JitterTerms(JitterKernel kernel, double t, const int* at, const float* sign,
                    const double* delta, int count, float* term) const;
    // The most transitions within reach of an instant, 2 kJitterReach + 1,
    // padded to whole vectors of eight.
    static constexpr int kMostJitterTerms = (2 * kJitterReach + 1 + 7) / 8 * 8;
    static constexpr int kJitterPad = 8;
    static bool Runs(JitterKernel kernel);
    static JitterKernel BestJitterKernel();

    // T_Delta[n] for n = -kJitterSpan ... kJitterSpan into out[n + kJitterSpan],
    // from g_LP itself.
    void JitterTerm(double delta, double* out) const;

    // The statistics of these samples plus white noise of deviation sigma,
    // exact for this model: the jitter's mean and covariance by Gauss-Hermite
    // quadrature over Delta of the jitter terms.
    InputStatistics Statistics(double sigma) const;

    // The width of a jitter row, padded for whole vectors.
    static constexpr int kJitterRow = 96;
    static_assert(kJitterRow >= 2 * kJitterReach + 1);

  private:
    Head head_;
    double jitter_;
    int span_;
    double offset_ = 0;
    std::vector<double> h_;   // h[n] at n + span_
    int rowLength_ = 0;       // 2 span_ + 8
    std::vector<float> rows_; // [byte][r]: the bit response of 8 bits, r - span_ from the first
    static constexpr int kPhases = 256;
    static constexpr int kMargin = 4; // bits beyond the jitter span the table reaches
    int phaseLength_ = 0;             // 2 (kJitterSpan + kMargin) + 1
    std::vector<float> phase_; // [phase][i]: g_LP(i - kJitterSpan - kMargin - phase / kPhases)
    std::vector<float> pairs_; // [i][phase][0 1]: phase_[phase][i], phase_[phase + 1][i]
    static constexpr int kJitterPhases = 1024;
    std::vector<float> jitterRows_; // [phase][i], kJitterRow wide
    std::vector<float> shiftRows_;  // [m + kMargin][i]
};

} // namespace channel
