// The constrained soft detectors against enumeration, Viterbi and each other.
#include "detectors/constrained_soft.h"

#include <gtest/gtest.h>

#include <cmath>

#include "frame_fixture.h"

namespace detectors {
namespace {

using C = channel::ConstraintKind;

bool KeepsRuns(const channel::ConstraintRow& row, const std::uint8_t* c, int n) {
    for (int i = 0, run = 0; i < n; ++i)
        if ((run = c[i] ? run + 1 : 0) > 0 && !channel::RunAllowed(row, i % row.codeBits, run))
            return false;
    return true;
}

struct Case {
    const char* target;
    C code;
    Kind kind;
};

const Case kCases[] = {{"e2pr4", C::kMtr45, Kind::kBcjr},    {"e2pr4", C::kTvmtr89, Kind::kBcjr},
                       {"pr4", C::kMtr45, Kind::kBcjr},      {"pr4", C::kTvmtr89, Kind::kBcjr},
                       {"epr4", C::kTvmtr89, Kind::kMaxlog}, {"e2pr4", C::kMtr45, Kind::kNpbcjr},
                       {"pr4", C::kTvmtr89, Kind::kNpbcjr}};

Setup Of(const Case& c, int n, bool tail, double v) {
    channel::Target t;
    channel::Target::Parse(c.target, t);
    Setup s{t.WithNrzi(), {n, tail ? t.Memory() : 0}, {}, nullptr, v, v, n + tail * t.Memory(),
            c.code};
    if (c.kind == Kind::kNpbcjr) s.predictor = {0.5f, -0.25f};
    return s;
}

std::vector<float> Soft(Kind kind, const Setup& s, const float* y, const float* la,
                        std::vector<std::uint8_t>* raw) {
    std::vector<float> llr(static_cast<std::size_t>(s.shape.bits));
    raw->resize(llr.size());
    float* out = llr.data();
    std::uint8_t* bits = raw->data();
    Make(kind, s)->DetectSoft(1, &y, {la ? &la : nullptr, &out, false}, &bits);
    return llr;
}

TEST(ConstrainedSoft, EqualEnumeratedPosteriorsOverTheAllowedSequences) {
    const int n = 12;
    for (const Case& c : kCases)
        for (int tail = 0, apriori = 0; tail < 2; apriori = !apriori, tail += !apriori) {
            const detectors::Setup s = Of(c, n, tail, 0.5);
            const channel::FrameEncoder encoder(s.target);
            channel::NoiseSource noise(7, tail + 2 * apriori);
            const test::Frame f(encoder, noise, n, s.shape.tail, std::sqrt(0.5));
            std::vector<float> la(n), p = s.predictor, clean(f.y.size());
            for (int k = 0; k < n; ++k) la[k] = 1.5f * ((k * 7) % 5 - 2);
            std::vector<std::uint8_t> bits(n), prec(n);
            const std::vector<float> got =
                Soft(c.kind, s, f.y.data(), apriori ? la.data() : nullptr, &bits);
            // Per bit: the allowed sequences' likelihoods with it 0 less with it 1.
            long double sum[n][2];
            std::fill(&sum[0][0], &sum[0][0] + 2 * n, -INFINITY);
            for (int u = 0; u < (1 << n); ++u) {
                for (int k = 0; k < n; ++k) bits[k] = (u >> k) & 1;
                if (!KeepsRuns(channel::ConstraintOf(c.code), bits.data(), n)) continue;
                encoder.Precode(bits.data(), n, prec.data());
                encoder.Levels(prec.data(), n, s.shape.tail, clean.data());
                long double m = 0;
                for (int k = 0; k < int(f.y.size()); ++k) {
                    long double r = f.y[k] - (long double)clean[k];
                    for (int i = 0; i < int(p.size()) && k - 1 - i >= 0; ++i)
                        r -= p[i] * ((long double)f.y[k - 1 - i] - clean[k - 1 - i]);
                    m += -r * r + (apriori && k < n ? (bits[k] ? -0.5L : 0.5L) * la[k] : 0);
                }
                for (int k = 0; k < n; ++k) {
                    long double &a = sum[k][bits[k]], hi = std::fmax(a, m), lo = std::fmin(a, m);
                    a = c.kind == Kind::kMaxlog ? hi : hi + std::log1p(std::exp(lo - hi));
                }
            }
            for (int k = 0; k < n; ++k)
                ASSERT_NEAR(got[k], double(sum[k][0] - sum[k][1]), 2e-4 * (1 + std::fabs(got[k])))
                    << c.target << int(c.code) << " tail " << tail << " bit " << k;
        }
}

TEST(ConstrainedSoft, MaxlogAndFullDepthSovaDecideAsViterbiNeverAForbiddenRun) {
    const int n = 360;
    for (const Case& c : kCases)
        for (bool tail : {false, true}) {
            const detectors::Setup s = Of(c, n, tail, 1.0);
            channel::NoiseSource noise(9, tail);
            const test::Frame f(channel::FrameEncoder(s.target), noise, n, s.shape.tail, 1.0);
            std::vector<std::uint8_t> viterbi, ml, sova;
            const float* y = f.y.data();
            Soft(Kind::kViterbi, s, y, nullptr, &viterbi);
            const std::vector<float> m = Soft(Kind::kMaxlog, s, y, nullptr, &ml);
            const std::vector<float> v = Soft(Kind::kSova, s, y, nullptr, &sova);
            for (int k = 0; k < n; ++k)
                ASSERT_NEAR(v[k], m[k], 1e-4 * (1 + std::fabs(m[k]))) << c.target << " bit " << k;
            EXPECT_TRUE(ml == viterbi && sova == viterbi) << c.target << " tail " << tail;
            EXPECT_NE(viterbi, f.raw); // noise enough for errors
            EXPECT_TRUE(KeepsRuns(channel::ConstraintOf(c.code), ml.data(), n)) << c.target;
        }
}

} // namespace
} // namespace detectors
