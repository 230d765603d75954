#include "channel/readback.h"

#include <algorithm>
#include <cmath>

#include "channel/quadrature.h"

namespace channel {

namespace {

// to[i] += from[i]: the rows of eight bits' bit response, on the widest
// vectors the processor has (each element the same float addition on every
// path).
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
AddRow(float* __restrict to, const float* __restrict from, int count) {
    for (int i = 0; i < count; ++i) to[i] += from[i];
}

// to[i] -= from[i]: a falling transition's jitter term.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
SubtractRow(float* __restrict to, const float* __restrict from, int count) {
    for (int i = 0; i < count; ++i) to[i] -= from[i];
}

// to[i] += b * from[i] over a whole padded jitter row, whose length the
// compiler knows; b = +-1, a multiplication rather than a branch on the data.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
AddJitterRow(float* __restrict to, const float* __restrict from, float b) {
    constexpr int kWidth = Readback::kJitterRow;
    for (int i = 0; i < kWidth; ++i) to[i] += b * from[i];
}

constexpr int kHermiteNodes = 32;

} // namespace

double InputStatistics::Correlation(int l) const {
    l = std::abs(l);
    double r = 0;
    for (std::size_t i = 0; i + static_cast<std::size_t>(l) < q.size(); ++i)
        r += q[i] * q[i + static_cast<std::size_t>(l)];
    if (static_cast<std::size_t>(l) < jitter.size()) r += jitter[static_cast<std::size_t>(l)];
    if (l == 0) r += noise;
    return r;
}

Readback::Readback(const Head& head, double jitter, bool simulate)
    : head_(head), jitter_(jitter), span_(head.Span()) {
    // g_LP at -span - 1 ... span, then its differences.
    std::vector<double> g(static_cast<std::size_t>(2 * span_ + 2));
    head_.LowPassTransitionOnGrid(0, -span_ - 1, span_, g.data());
    h_.resize(static_cast<std::size_t>(2 * span_ + 1));
    for (int n = -span_; n <= span_; ++n) {
        const std::size_t i = static_cast<std::size_t>(n + span_);
        h_[i] = g[i + 1] - g[i];
        offset_ += 0.5 * h_[i];
    }
    rowLength_ = 2 * span_ + 8;
    if (!simulate) return;
    rows_.assign(static_cast<std::size_t>(256 * rowLength_), 0.0f);
    for (int byte = 0; byte < 256; ++byte) {
        for (int r = 0; r < rowLength_; ++r) {
            double v = 0;
            for (int i = 0; i < 8; ++i)
                if ((byte >> i) & 1) v += BitResponse(r - span_ - i);
            rows_[static_cast<std::size_t>(byte * rowLength_ + r)] = static_cast<float>(v);
        }
    }
    if (!(jitter_ > 0)) return;
    // g_LP on a fine grid, 64 points a bit period over +-(reach + 2), exact;
    // the tables between by cubic interpolation, within about 3e-7 for a
    // response band-limited to 1/2 (h^4 / 24 max |g| with |g| <= pi^4).
    constexpr int kFine = 64;
    const int wide = kJitterSpan + kMargin + 2;
    std::vector<double> fine(static_cast<std::size_t>(2 * wide * kFine + 1));
    std::vector<double> grid(static_cast<std::size_t>(2 * wide + 1));
    for (int p = 0; p < kFine; ++p) {
        head_.LowPassTransitionOnGrid(static_cast<double>(p) / kFine, -wide, wide, grid.data());
        for (int n = -wide; n < wide || (n == wide && p == 0); ++n)
            fine[static_cast<std::size_t>((n + wide) * kFine + p)] =
                grid[static_cast<std::size_t>(n + wide)];
    }
    auto lowPass = [&](double t) {
        const double x = (t + wide) * kFine;
        const int i =
            std::clamp(static_cast<int>(std::floor(x)), 1, static_cast<int>(fine.size()) - 3);
        const double f = x - i;
        const double a0 = fine[static_cast<std::size_t>(i - 1)],
                     a1 = fine[static_cast<std::size_t>(i)];
        const double a2 = fine[static_cast<std::size_t>(i + 1)],
                     a3 = fine[static_cast<std::size_t>(i + 2)];
        // Lagrange through the four points around x.
        return a0 * (-f * (f - 1) * (f - 2) / 6) + a1 * ((f + 1) * (f - 1) * (f - 2) / 2) +
               a2 * (-(f + 1) * f * (f - 2) / 2) + a3 * ((f + 1) * f * (f - 1) / 6);
    };
    // Jitter rows: row r is T_u[n] = g_LP(n - u) - g_LP(n) for u = -1/2 + r /
    // kJitterPhases, n = -kJitterReach ... kJitterReach at index n +
    // kJitterReach, zeros after; shift rows g_LP(n - m) - g_LP(n) for the
    // whole part m of a larger Delta, m = -kMargin ... kMargin.
    const int reach = kJitterReach;
    jitterRows_.assign(static_cast<std::size_t>((kJitterPhases + 1) * kJitterRow), 0.0f);
    for (int r = 0; r <= kJitterPhases; ++r) {
        const double u = -0.5 + static_cast<double>(r) / kJitterPhases;
        for (int n = -reach; n <= reach; ++n)
            jitterRows_[static_cast<std::size_t>(r * kJitterRow + n + reach)] =
                static_cast<float>(lowPass(n - u) - lowPass(n));
    }
    shiftRows_.assign(static_cast<std::size_t>((2 * kMargin + 1) * kJitterRow), 0.0f);
    for (int m = -kMargin; m <= kMargin; ++m)
        for (int n = -reach; n <= reach; ++n)
            shiftRows_[static_cast<std::size_t>((m + kMargin) * kJitterRow + n + reach)] =
                static_cast<float>(lowPass(n - m) - lowPass(n));
    phaseLength_ = 2 * (kJitterSpan + kMargin) + 1;
    // (Whole vectors of the last row are read: padded.)
    phase_.assign(static_cast<std::size_t>((kPhases + 1) * phaseLength_ + 8), 0.0f);
    for (int p = 0; p <= kPhases; ++p)
        for (int i = 0; i < phaseLength_; ++i)
            phase_[static_cast<std::size_t>(p * phaseLength_ + i)] = static_cast<float>(
                lowPass(i - kJitterSpan - kMargin - static_cast<double>(p) / kPhases));
    // The same, each value beside the next phase's, column by column: one
    // 64-bit load holds what TransitionAt interpolates between.
    pairs_.resize(static_cast<std::size_t>(2 * kPhases * phaseLength_));
    for (int i = 0; i < phaseLength_; ++i)
        for (int p = 0; p < kPhases; ++p)
            for (int h = 0; h < 2; ++h)
                pairs_[static_cast<std::size_t>(2 * (i * kPhases + p) + h)] =
                    phase_[static_cast<std::size_t>((p + h) * phaseLength_ + i)];
}

double Readback::BitResponse(int n) const {
    return n < -span_ || n > span_ ? 0.0 : h_[static_cast<std::size_t>(n + span_)];
}

void Readback::Read(const std::uint8_t* prec, int n, int first, int count, NoiseSource& source,
                    ReadScratch& scratch, float* out) const {
    std::fill(out, out + count, 0.0f);
    // The jitter-free part, eight bits a row: row r of byte B holds sample
    // 8 beta + r - span.
    for (int start = 0; start < n; start += 8) {
        unsigned byte = 0;
        for (int i = 0; i < 8 && start + i < n; ++i) byte |= (prec[start + i] & 1u) << i;
        if (byte == 0) continue;
        const int base = start - span_ - first;
        const int lo = std::max(0, -base);
        const int hi = std::min(rowLength_, count - base);
        if (hi > lo)
            AddRow(out + base + lo, rows_.data() + static_cast<std::size_t>(byte) * rowLength_ + lo,
                   hi - lo);
    }
    if (!(jitter_ > 0)) return;
    // Every transition's jitter term, the transition after the last bit too:
    // first where they are (no branch on the data), then their deviates at
    // once, then one row each.
    std::vector<int>& transitions = scratch.transitions;
    std::vector<double>& deviates = scratch.deviates;
    if (transitions.size() < static_cast<std::size_t>(n + 1)) {
        transitions.resize(static_cast<std::size_t>(n + 1));
        deviates.resize(static_cast<std::size_t>(n + 1));
    }
    int found = 0, previous = 0;
    for (int k = 0; k <= n; ++k) {
        const int p = k < n ? prec[k] & 1 : 0;
        const int b = p - previous;
        previous = p;
        // +-(k + 1) by a product, not a branch: on random data a branch on
        // the transition's sign is mispredicted every fourth bit. A zero
        // written where there is no transition is overwritten by the next.
        transitions[static_cast<std::size_t>(found)] = (k + 1) * b;
        found += b != 0;
    }
    source.Normals(deviates.data(), found);
    // Transitions a few bits apart add rows that overlap a float off each
    // other's, and a row read back before the one written just before it
    // has left the store buffer stalls the processor; taken kStride apart
    // in turn, the rows in flight never overlap. (The sum at a sample then
    // has its terms in that order, the same every time.)
    constexpr int kStride = 64;
    for (int start = 0; start < std::min(kStride, found); ++start)
        for (int t = start; t < found; t += kStride) {
            const int code = transitions[static_cast<std::size_t>(t)];
            const bool rising = code > 0;
            const int k = std::abs(code) - 1;
            const double delta = std::clamp(jitter_ * deviates[static_cast<std::size_t>(t)],
                                            -kMaxJitterShift, kMaxJitterShift);
            // Delta = m + u, |u| <= 1/2 (m by truncation of a positive number:
            // no library call); the nearest of the rows' phases, 1/2048 of a bit
            // period away at most.
            const int m = static_cast<int>(delta + (kMargin + 0.5)) - kMargin;
            const int r = static_cast<int>((delta - m + 0.5) * kJitterPhases + 0.5);
            // T_Delta[j] = T_u[j - m] + (g_LP(j - m) - g_LP(j)).
            const float* row = jitterRows_.data() + static_cast<std::size_t>(r * kJitterRow);
            const int base = k + m - kJitterReach - first; // out index of row index 0
            if (m == 0 && base >= 0 && base + kJitterRow <= count) {
                AddJitterRow(out + base, row, static_cast<float>(code > 0) * 2.0f - 1.0f);
                continue;
            }
            const int lo = std::max(0, -base), hi = std::min(2 * kJitterReach + 1, count - base);
            if (hi > lo) (rising ? AddRow : SubtractRow)(out + base + lo, row + lo, hi - lo);
            if (m == 0) continue;
            const float* shifted =
                shiftRows_.data() + static_cast<std::size_t>((m + kMargin) * kJitterRow);
            const int sbase = k - kJitterReach - first;
            const int slo = std::max(0, -sbase),
                      shi = std::min(2 * kJitterReach + 1, count - sbase);
            if (shi > slo)
                (rising ? AddRow : SubtractRow)(out + sbase + slo, shifted + slo, shi - slo);
        }
}

void Readback::Pulse(float* table) const {
    // h_LP(n + d / 10) = g_LP(n + d / 10) - g_LP(n - 1 + d / 10): one grid per tenth.
    constexpr int kOrigin = 600, kPoints = 10;
    std::vector<double> g(2 * 60 + 2);
    for (int d = 0; d < kPoints; ++d) {
        head_.LowPassTransitionOnGrid(0.1 * d, -61, 60, g.data());
        for (int n = -60; n < 60; ++n) {
            const int i = kOrigin + kPoints * n + d;
            table[i] = static_cast<float>(g[static_cast<std::size_t>(n + 61)] -
                                          g[static_cast<std::size_t>(n + 60)]);
        }
    }
}

float Readback::TransitionAt(double t) const {
    const double x = t + kJitterSpan + kMargin;
    const double whole = std::floor(x);
    const int i = static_cast<int>(whole);
    // g_LP(i - reach + f) for the fraction f: row (1 - f) * kPhases counts
    // back from the next whole point.
    const double back = (1 - (x - whole)) * kPhases;
    int p0 = static_cast<int>(back);
    if (p0 >= kPhases) return phase_[static_cast<std::size_t>(i)];
    const float alpha = static_cast<float>(back - p0);
    const std::size_t at = static_cast<std::size_t>(i + 1);
    return (1.0f - alpha) * phase_[static_cast<std::size_t>(p0 * phaseLength_) + at] +
           alpha * phase_[static_cast<std::size_t>((p0 + 1) * phaseLength_) + at];
}

void Readback::JitterTerm(double delta, double* out) const {
    const int width = 2 * kJitterSpan + 1;
    delta = std::clamp(delta, -kMaxJitterShift, kMaxJitterShift);
    std::vector<double> at(static_cast<std::size_t>(width)), still(static_cast<std::size_t>(width));
    head_.LowPassTransitionOnGrid(-delta, -kJitterSpan, kJitterSpan, at.data());
    head_.LowPassTransitionOnGrid(0, -kJitterSpan, kJitterSpan, still.data());
    for (int i = 0; i < width; ++i)
        out[i] = at[static_cast<std::size_t>(i)] - still[static_cast<std::size_t>(i)];
}

InputStatistics Readback::Statistics(double sigma) const {
    InputStatistics s;
    s.noise = sigma * sigma;
    s.offset = offset_;
    s.qFirst = -span_;
    s.q.resize(static_cast<std::size_t>(2 * span_ + 2));
    for (int n = -span_; n <= span_ + 1; ++n)
        s.q[static_cast<std::size_t>(n + span_)] = 0.5 * BitResponse(n);
    if (!(jitter_ > 0)) return s;

    // The jitter term's mean and covariance over Delta ~ N(0, jitter^2).
    const int width = 2 * kJitterSpan + 1;
    std::vector<double> x, w;
    GaussHermiteNormal(kHermiteNodes, x, w);
    std::vector<double> mean(static_cast<std::size_t>(width), 0.0);
    std::vector<std::vector<double>> terms(x.size(),
                                           std::vector<double>(static_cast<std::size_t>(width)));
    for (std::size_t i = 0; i < x.size(); ++i) {
        JitterTerm(jitter_ * x[i], terms[i].data());
        for (int n = 0; n < width; ++n)
            mean[static_cast<std::size_t>(n)] += w[i] * terms[i][static_cast<std::size_t>(n)];
    }
    // The mean term moves the data's response: b_k = (a_k - a_{k-1}) / 2, so
    // Sum_k b_k E[T][j - k] = Sum_k a_k (E[T][j - k] - E[T][j - k - 1]) / 2.
    auto meanAt = [&](int n) {
        return n < -kJitterSpan || n > kJitterSpan
                   ? 0.0
                   : mean[static_cast<std::size_t>(n + kJitterSpan)];
    };
    for (int n = -span_; n <= span_ + 1; ++n)
        s.q[static_cast<std::size_t>(n + span_)] += 0.5 * (meanAt(n) - meanAt(n - 1));
    // The rest is zero-mean, independent from transition to transition, and
    // there is a transition at a given bit half the time:
    // E[J_j J_{j+l}] = 1/2 Sum_n Cov(T[n], T[n + l]).
    s.jitter.assign(static_cast<std::size_t>(width), 0.0);
    for (int l = 0; l < width; ++l) {
        double sum = 0;
        for (int n = 0; n + l < width; ++n) {
            double second = 0;
            for (std::size_t i = 0; i < x.size(); ++i)
                second += w[i] * terms[i][static_cast<std::size_t>(n)] *
                          terms[i][static_cast<std::size_t>(n + l)];
            sum +=
                second - mean[static_cast<std::size_t>(n)] * mean[static_cast<std::size_t>(n + l)];
        }
        s.jitter[static_cast<std::size_t>(l)] = 0.5 * sum;
    }
    return s;
}

} // namespace channel
