#include "codes/fixed.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace codes {

FrameOptions Resolved(FrameOptions o) {
    if (o.decoder.algorithm == Algorithm::kSumProduct)
        o.decoder.algorithm = Algorithm::kNormalizedMinSum;
    o.decoder.normalization = std::clamp(o.decoder.normalization, 0.0f, 1.0f);
    if (!(o.decoder.offset >= 0)) o.decoder.offset = 0;
    o.decoder.maxIterations = std::clamp(o.decoder.maxIterations, 0, kMaxIterations);
    if (o.arithmetic == Arithmetic::kInt8)
        o.fractionBits = o.fractionBits < 0 ? kInt8FractionBits : std::min(o.fractionBits, 8);
    else if (o.arithmetic == Arithmetic::kInt16)
        o.fractionBits = o.fractionBits < 0 ? kInt16FractionBits : std::min(o.fractionBits, 12);
    else
        o.fractionBits = 0;
    return o;
}

FixedConstants ConstantsOf(const FrameOptions& o, const Code& code) {
    FixedConstants k;
    k.hi = o.arithmetic == Arithmetic::kInt8 ? 127 : 32767;
    int w = 0;
    for (int v = 0; v < code.n; ++v) w = std::max(w, code.ColumnWeight(v));
    k.cap = k.hi / (1 + w);
    k.fractionBits = o.fractionBits;
    k.scale = std::ldexp(1.0f, o.fractionBits);
    k.a16 = static_cast<int>(std::lround(16.0f * o.decoder.normalization));
    k.offset = static_cast<int>(std::min(std::lround(o.decoder.offset * k.scale), long(k.hi)));
    k.offsetRule = o.decoder.algorithm == Algorithm::kOffsetMinSum;
    return k;
}

namespace {

// CleanRatio, then scaled, clipped and rounded, in a form the compiler can
// put in vector registers: the one definition of the input step.
inline int QuantizeOne(float x, float scale, float cap) {
    x = x != x ? 0.0f : x;
    x = x < -kMaxRatio ? -kMaxRatio : (kMaxRatio < x ? kMaxRatio : x);
    float y = x * scale;
    y = y < -cap ? -cap : (cap < y ? cap : y);
    // 1.5 * 2^23 rounds any |y| < 2^22 to a whole number, half to even.
    return static_cast<int>((y + 12582912.0f) - 12582912.0f);
}

} // namespace

int Quantize(float ratio, const FixedConstants& k) {
    return QuantizeOne(ratio, k.scale, static_cast<float>(k.cap));
}

template <typename T>
void QuantizeRow(const float* ratios, int n, const FixedConstants& k, T* out) {
    const float scale = k.scale, cap = static_cast<float>(k.cap);
    for (int i = 0; i < n; ++i) out[i] = static_cast<T>(QuantizeOne(ratios[i], scale, cap));
}
template void QuantizeRow(const float*, int, const FixedConstants&, std::int8_t*);
template void QuantizeRow(const float*, int, const FixedConstants&, std::int16_t*);

FrameResult DecodeFixed(const Code& code, const FrameOptions& options, const float* ratios,
                        std::uint8_t* bits, float* posterior) {
    const FrameOptions o = Resolved(options);
    if (o.arithmetic == Arithmetic::kFloat) return Decode(code, o.decoder, ratios, bits, posterior);
    const FixedConstants k = ConstantsOf(o, code);
    const int hi = k.hi, lo = -k.hi - 1;
    auto sat = [&](int x) { return std::clamp(x, lo, hi); };
    auto g = [&](int m) {
        const int v = k.offsetRule ? std::max(m - k.offset, 0) : (m * k.a16 + 8) >> 4;
        return std::min(v, k.cap);
    };
    std::vector<int> l(code.n), r(code.Edges(), 0), q(code.MaxRowWeight());
    for (int v = 0; v < code.n; ++v) l[v] = Quantize(ratios[v], k);

    auto zeroSyndrome = [&] {
        for (int c = 0; c < code.m; ++c) {
            bool parity = false;
            for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e)
                parity ^= l[code.checkVar[e]] < 0;
            if (parity) return false;
        }
        return true;
    };
    FrameResult res;
    const int maxIt = o.decoder.maxIterations;
    for (;;) {
        if (o.decoder.earlyStop || res.iterations == maxIt) {
            res.syndromeZero = zeroSyndrome();
            if (o.decoder.earlyStop && res.syndromeZero) break;
        }
        if (res.iterations == maxIt) break;
        for (int c = 0; c < code.m; ++c) {
            const int b = code.checkStart[c], end = code.checkStart[c + 1];
            int m1 = hi + 1, m2 = hi + 1;
            bool negative = false;
            for (int e = b; e < end; ++e) {
                const int qe = sat(l[code.checkVar[e]] - r[e]);
                q[e - b] = qe;
                const int a = std::abs(qe);
                if (a < m1) {
                    m2 = m1;
                    m1 = a;
                } else if (a < m2) {
                    m2 = a;
                }
                negative ^= qe < 0;
            }
            const int g1 = g(m1), g2 = g(m2);
            for (int e = b; e < end; ++e) {
                const int qe = q[e - b];
                const int mag = std::abs(qe) == m1 ? g2 : g1;
                r[e] = (negative != (qe < 0)) ? -mag : mag;
                l[code.checkVar[e]] = sat(qe + r[e]);
            }
        }
        ++res.iterations;
    }
    for (int v = 0; v < code.n; ++v) {
        bits[v] = l[v] < 0;
        if (posterior) posterior[v] = static_cast<float>(l[v]) / k.scale;
    }
    return res;
}

} // namespace codes
