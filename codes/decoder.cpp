#include "codes/decoder.h"

#include <algorithm>
#include <cmath>

namespace codes {
namespace {

// A check of one edge knows its bit is 0.
constexpr double kCertain = 1e6;

bool ZeroSyndrome(const Code& code, const float* l) {
    for (int c = 0; c < code.m; ++c) {
        bool parity = false;
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e)
            parity ^= l[code.checkVar[e]] < 0;
        if (parity) return false;
    }
    return true;
}

// The loop every decoder shares: `iterate` runs one iteration on l.
template <typename Iterate>
FrameResult Loop(const Code& code, const DecoderOptions& o, std::vector<float>& l,
                 Iterate iterate) {
    const int maxIt = std::clamp(o.maxIterations, 0, kMaxIterations);
    FrameResult r;
    for (;;) {
        if (o.earlyStop || r.iterations == maxIt) {
            r.syndromeZero = ZeroSyndrome(code, l.data());
            if (o.earlyStop && r.syndromeZero) break;
        }
        if (r.iterations == maxIt) break;
        iterate();
        ++r.iterations;
    }
    return r;
}

FrameResult Layered(const Code& code, const DecoderOptions& o, std::vector<float>& l) {
    const bool offsetRule = o.algorithm == Algorithm::kOffsetMinSum;
    const float alpha = std::clamp(o.normalization, 0.0f, 1.0f);
    const float beta = std::max(o.offset, 0.0f);
    auto g = [&](float m) {
        if (!offsetRule) return alpha * m;
        const float d = m - beta;
        return d > 0 ? d : 0.0f;
    };
    std::vector<float> r(code.Edges(), 0.0f), q(code.MaxRowWeight());
    return Loop(code, o, l, [&] {
        for (int c = 0; c < code.m; ++c) {
            const int b = code.checkStart[c], end = code.checkStart[c + 1];
            float m1 = kMaxRatio, m2 = kMaxRatio;
            bool negative = false;
            for (int e = b; e < end; ++e) {
                const float qe = l[code.checkVar[e]] - r[e];
                q[e - b] = qe;
                const float a = std::fabs(qe);
                if (a < m1) {
                    m2 = m1;
                    m1 = a;
                } else if (a < m2) {
                    m2 = a;
                }
                negative ^= qe < 0;
            }
            const float g1 = g(m1), g2 = g(m2);
            for (int e = b; e < end; ++e) {
                const float qe = q[e - b];
                const float mag = std::fabs(qe) == m1 ? g2 : g1;
                r[e] = (negative != (qe < 0)) ? -mag : mag;
                l[code.checkVar[e]] = qe + r[e];
            }
        }
    });
}

double BoxPlus(double a, double b) {
    const double s = (a < 0) != (b < 0) ? -1.0 : 1.0;
    return s * std::min(std::fabs(a), std::fabs(b)) + std::log1p(std::exp(-std::fabs(a + b))) -
           std::log1p(std::exp(-std::fabs(a - b)));
}

FrameResult SumProduct(const Code& code, const DecoderOptions& o, std::vector<float>& l) {
    const int edges = code.Edges();
    std::vector<double> channel(l.begin(), l.end()), vc(edges), cv(edges);
    std::vector<double> fwd(code.MaxRowWeight());
    for (int e = 0; e < edges; ++e) vc[e] = channel[code.checkVar[e]];
    return Loop(code, o, l, [&] {
        for (int c = 0; c < code.m; ++c) {
            const int b = code.checkStart[c], d = code.RowWeight(c);
            if (d == 1) {
                cv[b] = kCertain;
                continue;
            }
            fwd[0] = vc[b];
            for (int i = 1; i < d; ++i) fwd[i] = BoxPlus(fwd[i - 1], vc[b + i]);
            double back = vc[b + d - 1];
            cv[b + d - 1] = fwd[d - 2];
            for (int i = d - 2; i >= 1; --i) {
                cv[b + i] = BoxPlus(fwd[i - 1], back);
                back = BoxPlus(back, vc[b + i]);
            }
            cv[b] = back;
        }
        for (int v = 0; v < code.n; ++v) {
            double sum = channel[v];
            for (int i = code.varStart[v]; i < code.varStart[v + 1]; ++i)
                sum += cv[code.varEdge[i]];
            for (int i = code.varStart[v]; i < code.varStart[v + 1]; ++i)
                vc[code.varEdge[i]] = sum - cv[code.varEdge[i]];
            l[v] = static_cast<float>(sum);
        }
    });
}

} // namespace

float CleanRatio(float ratio) {
    if (std::isnan(ratio)) return 0.0f;
    return std::clamp(ratio, -kMaxRatio, kMaxRatio);
}

FrameResult Decode(const Code& code, const DecoderOptions& options, const float* ratios,
                   std::uint8_t* bits, float* posterior) {
    std::vector<float> l(code.n);
    for (int v = 0; v < code.n; ++v) l[v] = CleanRatio(ratios[v]);
    const FrameResult r = options.algorithm == Algorithm::kSumProduct ? SumProduct(code, options, l)
                                                                      : Layered(code, options, l);
    for (int v = 0; v < code.n; ++v) {
        bits[v] = l[v] < 0;
        if (posterior) posterior[v] = l[v];
    }
    return r;
}

Decoded Decode(const Code& code, const DecoderOptions& options, const std::vector<float>& ratios) {
    Decoded d;
    d.bits.resize(code.n);
    d.posterior.resize(code.n);
    const FrameResult r = Decode(code, options, ratios.data(), d.bits.data(), d.posterior.data());
    d.syndromeZero = r.syndromeZero;
    d.iterations = r.iterations;
    return d;
}

std::vector<float> Extrinsic(const std::vector<float>& posterior, const std::vector<float>& input) {
    std::vector<float> out(posterior.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = posterior[i] - input[i];
    return out;
}

} // namespace codes
