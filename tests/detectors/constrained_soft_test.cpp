// The soft detectors on the constrained trellis against exact posteriors by
// enumerating the sequences the code allows, the constrained Viterbi
// detector, and each other.
#include "detectors/constrained_soft.h"

#include <gtest/gtest.h>

#include <cmath>

#include "frame_fixture.h"

namespace detectors {
namespace {

using channel::ConstraintKind;

bool KeepsRuns(const channel::ConstraintRow& row, const std::uint8_t* c, int n) {
    for (int i = 0, run = 0; i < n; ++i)
        if ((run = c[i] ? run + 1 : 0) > 0 && !channel::RunAllowed(row, i % row.codeBits, run))
            return false;
    return true;
}

struct Case {
    const char* target;
    ConstraintKind code;
    Kind kind;
};

Setup Of(const Case& c, int n, bool tail, double v) {
    channel::Target t;
    EXPECT_EQ(channel::Target::Parse(c.target, t), "");
    Setup s;
    s.target = t.WithNrzi();
    s.shape = {n, tail ? t.Memory() : 0};
    if (c.kind == Kind::kNpbcjr) s.predictor = {0.5f, -0.25f};
    s.noiseVariance = s.predictionVariance = v;
    s.constraint = c.code;
    return s;
}

std::vector<float> Soft(Kind kind, const Setup& s, const float* y, const float* la,
                        std::vector<std::uint8_t>* raw = nullptr) {
    std::vector<float> llr(static_cast<std::size_t>(s.shape.bits));
    std::vector<std::uint8_t> decided(llr.size());
    float* out = llr.data();
    std::uint8_t* bits = decided.data();
    Make(kind, s)->DetectSoft(1, &y, {la ? &la : nullptr, &out, false}, &bits);
    if (raw != nullptr) *raw = decided;
    return llr;
}

TEST(ConstrainedSoft, EqualEnumeratedPosteriorsOverTheAllowedSequences) {
    const Case cases[] = {
        {"e2pr4", ConstraintKind::kMtr45, Kind::kBcjr},
        {"e2pr4", ConstraintKind::kTvmtr89, Kind::kBcjr},
        {"pr4", ConstraintKind::kMtr45, Kind::kBcjr},
        {"pr4", ConstraintKind::kTvmtr89, Kind::kBcjr},
        {"epr4", ConstraintKind::kTvmtr89, Kind::kMaxlog},
        {"e2pr4", ConstraintKind::kMtr45, Kind::kNpbcjr},
        {"pr4", ConstraintKind::kTvmtr89, Kind::kNpbcjr},
    };
    const int n = 12;
    for (const Case& c : cases)
        for (bool tail : {false, true})
            for (bool apriori : {false, true}) {
                const channel::ConstraintRow& row = channel::ConstraintOf(c.code);
                const detectors::Setup s = Of(c, n, tail, 0.5);
                const channel::FrameEncoder encoder(s.target);
                channel::NoiseSource noise(7, tail + 2 * apriori);
                const test::Frame f(encoder, noise, n, s.shape.tail, std::sqrt(0.5));
                std::vector<float> la(n), p = s.predictor;
                for (int k = 0; k < n; ++k) la[k] = 1.5f * ((k * 7) % 5 - 2);
                const std::vector<float> got =
                    Soft(c.kind, s, f.y.data(), apriori ? la.data() : nullptr);
                // Each allowed sequence's log likelihood (whitened by p), and
                // per bit the sum (or largest) of those with it 0 less 1.
                long double sum[n][2];
                std::fill(&sum[0][0], &sum[0][0] + 2 * n, -INFINITY);
                std::vector<std::uint8_t> bits(n), prec(n);
                std::vector<float> clean(f.y.size());
                int allowed = 0;
                for (int u = 0; u < (1 << n); ++u) {
                    for (int k = 0; k < n; ++k) bits[k] = (u >> k) & 1;
                    if (!KeepsRuns(row, bits.data(), n)) continue;
                    ++allowed;
                    encoder.Precode(bits.data(), n, prec.data());
                    encoder.Levels(prec.data(), n, s.shape.tail, clean.data());
                    long double m = 0;
                    for (int k = 0; k < int(f.y.size()); ++k) {
                        long double r = f.y[k] - (long double)clean[k];
                        for (int i = 0; i < int(p.size()) && k - 1 - i >= 0; ++i)
                            r -= p[i] * ((long double)f.y[k - 1 - i] - clean[k - 1 - i]);
                        m += -r * r / (2 * 0.5L) +
                             (apriori && k < n ? (bits[k] ? -0.5L : 0.5L) * la[k] : 0);
                    }
                    for (int k = 0; k < n; ++k) {
                        long double& a = sum[k][bits[k]];
                        const long double hi = std::fmax(a, m), lo = std::fmin(a, m);
                        a = c.kind == Kind::kMaxlog ? hi : hi + std::log1p(std::exp(lo - hi));
                    }
                }
                EXPECT_EQ(allowed, c.code == ConstraintKind::kMtr45 ? 1705 : 2080) << row.name;
                for (int k = 0; k < n; ++k)
                    ASSERT_NEAR(got[k], double(sum[k][0] - sum[k][1]),
                                2e-4 * (1 + std::fabs(got[k])))
                        << c.target << " " << row.name << " tail " << tail << " bit " << k;
            }
}

TEST(ConstrainedSoft, MaxlogDecidesAsViterbiSovaAtFullDepthEqualsItNoForbiddenRun) {
    const Case cases[] = {
        {"e2pr4", ConstraintKind::kMtr45, Kind::kMaxlog},
        {"e2pr4", ConstraintKind::kTvmtr89, Kind::kMaxlog},
        {"epr4", ConstraintKind::kTvmtr89, Kind::kMaxlog},
        {"e3pr4", ConstraintKind::kMtr45, Kind::kMaxlog},
    };
    const int n = 360;
    for (const Case& c : cases)
        for (bool tail : {false, true}) {
            const channel::ConstraintRow& row = channel::ConstraintOf(c.code);
            detectors::Setup s = Of(c, n, tail, 1.0);
            s.depth = n + s.shape.tail;
            channel::NoiseSource noise(9, tail);
            const test::Frame f(channel::FrameEncoder(s.target), noise, n, s.shape.tail, 1.0);
            std::vector<std::uint8_t> viterbi(n), ml, sova;
            const float* y = f.y.data();
            std::uint8_t* out = viterbi.data();
            Make(Kind::kViterbi, s)->Detect(1, &y, &out);
            const std::vector<float> m = Soft(Kind::kMaxlog, s, y, nullptr, &ml);
            const std::vector<float> v = Soft(Kind::kSova, s, y, nullptr, &sova);
            int errors = 0;
            for (int k = 0; k < n; ++k) {
                ASSERT_NEAR(v[k], m[k], 1e-4 * (1 + std::fabs(m[k]))) << c.target << " bit " << k;
                errors += viterbi[k] != f.raw[k];
            }
            EXPECT_EQ(ml, viterbi) << c.target << " " << row.name << " tail " << tail;
            EXPECT_EQ(sova, viterbi) << c.target << " " << row.name << " tail " << tail;
            EXPECT_GT(errors, 0);
            // The sequence detectors' decisions are allowed sequences; bcjr's
            // are each bit's own (its sign), which may write a forbidden run.
            EXPECT_TRUE(KeepsRuns(row, ml.data(), n)) << c.target;
        }
}

} // namespace
} // namespace detectors
