#include "channel/viterbi.h"

#include <array>
#include <limits>

#include "channel/coding.h"
#include "channel/frame.h"
#include "channel/viterbi_kernels.h"

namespace channel {

namespace viterbi_detail {

IdealTable MakeIdealTable() {
    IdealTable t{};
    for (int s = 0; s < kStates; ++s) {
        for (int b = 0; b < 2; ++b) {
            // Bit 4 of s is the precoder bit one step back, bit 0 five back.
            int v = kTarget[0] * b;
            for (int m = 1; m < kTargetLen; ++m) v += kTarget[m] * ((s >> (5 - m)) & 1);
            t[static_cast<std::size_t>(s)][static_cast<std::size_t>(b)] = static_cast<float>(v);
        }
    }
    return t;
}

const IdealTable kIdeal = MakeIdealTable();

int BestState(const float* pm) {
    int best = 0;
    for (int t = 1; t < kStates; ++t)
        if (pm[t] < pm[best]) best = t;
    return best;
}

void ForwardScalar(const float* y, int n, std::uint32_t* decisions, float* pmOut) {
    float pm[kStates];
    float next[kStates];
    pm[0] = 0.0f;
    for (int t = 1; t < kStates; ++t) pm[t] = std::numeric_limits<float>::infinity();
    for (int k = 0; k < n; ++k) {
        std::uint32_t word = 0;
        for (int t = 0; t < kStates; ++t) {
            const int s0 = 2 * (t & 15);
            const int s1 = s0 + 1;
            const int b = t >> 4;
            const float d0 = y[k] - kIdeal[s0][b];
            const float m0 = pm[s0] + d0 * d0;
            const float d1 = y[k] - kIdeal[s1][b];
            const float m1 = pm[s1] + d1 * d1;
            const bool odd = m1 < m0;
            next[t] = odd ? m1 : m0;
            word |= static_cast<std::uint32_t>(odd) << t;
        }
        for (int t = 0; t < kStates; ++t) pm[t] = next[t];
        if ((k & (kRenormPeriod - 1)) == kRenormPeriod - 1) Renormalise(pm);
        decisions[k] = word;
    }
    for (int t = 0; t < kStates; ++t) pmOut[t] = pm[t];
}

void Renormalise(float* pm) {
    float low = pm[0];
    for (int t = 1; t < kStates; ++t) low = pm[t] < low ? pm[t] : low;
    for (int t = 0; t < kStates; ++t) pm[t] = pm[t] - low;
}

} // namespace viterbi_detail

using namespace viterbi_detail;

void ViterbiPlain(const float* y, int n, std::uint8_t* raw) {
    // The scalar forward pass, then the textbook traceback to precoder bits
    // and the inverse precoder as a pass of its own.
    std::vector<std::uint32_t> decisions(static_cast<std::size_t>(n));
    std::vector<std::uint8_t> prec(static_cast<std::size_t>(n));
    float pm[kStates];
    ForwardScalar(y, n, decisions.data(), pm);
    int s = BestState(pm);
    for (int k = n - 1; k >= 0; --k) {
        const std::size_t at = static_cast<std::size_t>(k);
        prec[at] = static_cast<std::uint8_t>(s >> 4);
        s = 2 * (s & 15) + static_cast<int>((decisions[at] >> s) & 1u);
    }
    InversePrecode(prec.data(), n, raw);
}

namespace {

// From the final metrics and the decision words of a frame to its raw bits.
void Traceback(const std::uint32_t* dec, const float* pm, int n, std::uint8_t* raw) {
    int s = BestState(pm);
    // The inverse precoder rides along: state s at step k holds precoder
    // bits k (bit 4), k-1 (bit 3) and k-4 (bit 0), and its decision bit is
    // the bit k-5 it dropped. Below k = 5 those reach before the frame,
    // where the history is zero by definition, so the first bits are
    // gathered and precoded apart.
    int k = n - 1;
    for (; k >= kPrecoderMemory; --k) {
        const int d = static_cast<int>((dec[k] >> s) & 1u);
        raw[k] = static_cast<std::uint8_t>(((s >> 4) ^ (s >> 3) ^ s ^ d) & 1);
        s = ((s & 15) << 1) | d;
    }
    std::uint8_t head[kPrecoderMemory];
    for (; k >= 0; --k) {
        head[k] = static_cast<std::uint8_t>(s >> 4);
        s = ((s & 15) << 1) | static_cast<int>((dec[k] >> s) & 1u);
    }
    InversePrecode(head, n < kPrecoderMemory ? n : kPrecoderMemory, raw);
}

} // namespace

void Viterbi::Reserve(int n) {
    if (decisions_.size() < static_cast<std::size_t>(n))
        decisions_.resize(static_cast<std::size_t>(n));
}

void Viterbi::Detect(const float* y, int n, std::uint8_t* raw) {
    Reserve(n);
    float pm[kStates];
    ForwardWith(BestKernel(), y, n, decisions_.data(), pm);
    Traceback(decisions_.data(), pm, n, raw);
}

void Viterbi::DetectPair(const float* y0, const float* y1, int n, std::uint8_t* raw0,
                         std::uint8_t* raw1) {
    Reserve(n);
    if (decisions1_.size() < static_cast<std::size_t>(n))
        decisions1_.resize(static_cast<std::size_t>(n));
    float pm0[kStates], pm1[kStates];
    ForwardPairWith(BestKernel(), y0, y1, n, decisions_.data(), decisions1_.data(), pm0, pm1);
    Traceback(decisions_.data(), pm0, n, raw0);
    Traceback(decisions1_.data(), pm1, n, raw1);
}

} // namespace channel
