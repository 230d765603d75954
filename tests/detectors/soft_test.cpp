// The soft detectors against what they must equal: exact posteriors by
// enumerating every raw sequence, the Viterbi detector's decisions, each
// other, and their own claims on many noisy bits.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "detectors/forward_backward.h"
#include "detectors/npbcjr.h"
#include "detectors/soft_maxstar.h"
#include "detectors/soft_simd.h"
#include "detectors/sova.h"
#include "detectors/table.h"
#include "detectors/viterbi.h"
#include "frame_fixture.h"

namespace {

using detectors::SoftMode;
using detectors::test::Frame;

channel::Target Named(const char* text) {
    channel::Target t;
    EXPECT_EQ(channel::Target::Parse(text, t), "");
    return t;
}

// By enumeration, in long double: for each bit the log of the summed (exact)
// or largest (maxlog) likelihood of the sequences with that bit 0 less with
// it 1. The metric of a sequence: -(sum of r^2) / (2 v) + the a-priori half
// ratios, r_k = e_k - sum p_i e_{k-1-i}, e = y - the sequence's levels.
std::vector<long double> Enumerated(const channel::Target& target, const std::vector<float>& y,
                                    int n, int tail, double v, const std::vector<float>& p,
                                    const std::vector<float>& la, bool exact) {
    const channel::FrameEncoder encoder(target);
    std::vector<std::uint8_t> raw(n), prec(n);
    std::vector<float> clean(n + tail);
    std::vector<long double> best[2], metric(1u << n), out(n);
    for (unsigned u = 0; u < (1u << n); ++u) {
        for (int k = 0; k < n; ++k) raw[k] = (u >> k) & 1u;
        encoder.Precode(raw.data(), n, prec.data());
        encoder.Levels(prec.data(), n, tail, clean.data());
        long double m = 0;
        for (int k = 0; k < n + tail; ++k) {
            long double r = y[k] - (long double)clean[k];
            for (std::size_t i = 0; i < p.size(); ++i)
                if (k - 1 - (int)i >= 0) r -= p[i] * ((long double)y[k - 1 - i] - clean[k - 1 - i]);
            m -= r * r / (2 * v);
            if (!la.empty() && k < n) m += (raw[k] ? -0.5L : 0.5L) * la[k];
        }
        metric[u] = m;
    }
    for (int k = 0; k < n; ++k) {
        long double s[2] = {-INFINITY, -INFINITY};
        for (unsigned u = 0; u < (1u << n); ++u) {
            long double& a = s[(u >> k) & 1u];
            const long double hi = std::fmax(a, metric[u]), lo = std::fmin(a, metric[u]);
            a = exact ? hi + std::log1p(std::exp(lo - hi)) : hi;
        }
        out[k] = s[0] - s[1];
    }
    return out;
}

TEST(SoftDetectors, EqualEnumeratedPosteriorsOnShortFrames) {
    // Every target of the tests (real taps, no precoder, memory 6), tail or
    // none, with and without a-priori ratios; npbcjr with two taps on its
    // widened trellis.
    const struct {
        SoftMode mode;
        int taps;
    } kinds[] = {{SoftMode::kExact, 0}, {SoftMode::kMaxLog, 0}, {SoftMode::kExact, 2}};
    const int n = 11;
    int compared = 0;
    for (const channel::Target& target : detectors::test::TestTargets())
        for (const auto& kind : kinds)
            for (int tail : {0, target.Memory()})
                for (bool apriori : {false, true}) {
                    channel::NoiseSource noise(5, compared);
                    const double sigma = 0.45 * std::sqrt(target.Energy() / 3);
                    const Frame f(channel::FrameEncoder(target), noise, n, tail, sigma);
                    const std::vector<float> p =
                        kind.taps ? std::vector<float>{0.5f, -0.25f} : std::vector<float>{};
                    std::vector<float> la(apriori ? n : 0);
                    for (int k = 0; k < (int)la.size(); ++k) la[k] = 1.5f * ((k * 7) % 5 - 2);
                    const std::vector<long double> want = Enumerated(
                        target, f.y, n, tail, sigma * sigma, p, la, kind.mode == SoftMode::kExact);
                    std::vector<float> got(n);
                    const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target, kind.taps);
                    if (kind.taps)
                        detectors::NpbcjrPlain(t, target, p, sigma * sigma, f.y.data(), n, tail,
                                               apriori ? la.data() : nullptr, false, got.data());
                    else
                        detectors::SoftPlain(t, kind.mode, sigma * sigma, f.y.data(), n, tail,
                                             apriori ? la.data() : nullptr, false, got.data());
                    for (int k = 0; k < n; ++k)
                        ASSERT_NEAR(got[k], (double)want[k], 2e-4 * (1 + std::fabs(want[k])))
                            << target.CoefficientText() << " taps " << kind.taps << " tail " << tail
                            << " bit " << k;
                    ++compared;
                }
    EXPECT_EQ(compared, 8 * 3 * 2 * 2);
}

TEST(SoftDetectors, TheLanesMaxStarCorrectionIsWithinItsBound) {
    // Every piece densely, its edges, and far past the last one.
    const struct {
        float from, to, step;
    } ranges[] = {{0, 12.5f, 1e-4f},
                  {0.999f, 1.001f, 1e-7f},
                  {3.999f, 4.001f, 1e-6f},
                  {11.99f, 12.01f, 1e-6f},
                  {12, 1e3f, 0.37f}};
    for (const auto& r : ranges)
        for (float d = r.from; d <= r.to; d += r.step)
            ASSERT_NEAR(detectors::MaxStarCorrection(d), std::log1p(std::exp(-(double)d)),
                        detectors::kMaxStarError)
                << d;
    EXPECT_NEAR(detectors::MaxStarCorrection(1e30f), 0, detectors::kMaxStarError);
}

TEST(SoftDetectors, MaxlogDecidesAsViterbiAndSovaAtFullDepthEqualsIt) {
    const int n = 300;
    for (const channel::Target& target : detectors::test::TestTargets())
        for (int tail : {0, target.Memory()}) {
            SCOPED_TRACE(target.CoefficientText() + " tail " + std::to_string(tail));
            channel::NoiseSource noise(9, tail);
            const double sigma = 0.5 * std::sqrt(target.Energy() / 3);
            const Frame f(channel::FrameEncoder(target), noise, n, tail, sigma);
            const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target);
            std::vector<float> ml(n), sova(n), shallow(n);
            std::vector<std::uint8_t> viterbi(n), decided(n);
            detectors::SoftPlain(t, SoftMode::kMaxLog, sigma * sigma, f.y.data(), n, tail, nullptr,
                                 false, ml.data(), decided.data());
            detectors::ViterbiPlain(target, f.y.data(), n, tail, viterbi.data());
            detectors::SovaPlain(t, sigma * sigma, f.y.data(), n, tail, n + tail, nullptr, false,
                                 sova.data());
            detectors::SovaPlain(t, sigma * sigma, f.y.data(), n, tail, 2, nullptr, false,
                                 shallow.data());
            int errors = 0, differ = 0;
            for (int k = 0; k < n; ++k) {
                EXPECT_EQ(decided[k], viterbi[k]) << k;
                EXPECT_EQ(decided[k], ml[k] < 0) << k;
                EXPECT_NEAR(sova[k], ml[k], 1e-4 * (1 + std::fabs(ml[k]))) << k;
                errors += viterbi[k] != f.raw[k];
                differ += std::fabs(shallow[k] - ml[k]) > 1e-3f * (1 + std::fabs(ml[k]));
            }
            // The noise is there (some errors), and a depth of 2 leaves out
            // merges that the full one sees: some ratios differ.
            EXPECT_GT(errors, 0);
            EXPECT_GT(differ, 0);
        }
}

TEST(SoftDetectors, ExtrinsicRatiosIgnoreTheirOwnApriori) {
    // Changing bit k's a-priori ratio alone leaves bit k's extrinsic ratio
    // as it was, bit for bit (sova: to rounding), and moves the others.
    const channel::Target target = Named("e2pr4");
    const int n = 64, tail = 4, k = 23;
    channel::NoiseSource noise(3, 3);
    const Frame f(channel::FrameEncoder(target), noise, n, tail, 0.9);
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<float> la(n, 0.7f), e[2] = {std::vector<float>(n), std::vector<float>(n)};
        for (int pass = 0; pass < 2; ++pass) {
            la[k] = pass ? -3.0f : 2.0f;
            const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target, kind == 3 ? 1 : 0);
            if (kind < 2)
                detectors::SoftPlain(t, kind ? SoftMode::kMaxLog : SoftMode::kExact, 0.81,
                                     f.y.data(), n, tail, la.data(), true, e[pass].data());
            else if (kind == 2)
                detectors::SovaPlain(t, 0.81, f.y.data(), n, tail, n + tail, la.data(), true,
                                     e[pass].data());
            else
                detectors::NpbcjrPlain(t, target, {0.4f}, 0.81, f.y.data(), n, tail, la.data(),
                                       true, e[pass].data());
        }
        if (kind == 2) {
            EXPECT_NEAR(e[0][k], e[1][k], 1e-4 * (1 + std::fabs(e[0][k])));
        } else {
            EXPECT_EQ(e[0][k], e[1][k]) << kind;
        }
        EXPECT_NE(e[0][k - 1], e[1][k - 1]) << kind;
    }
}

TEST(SoftDetectors, NoNoiseGivesCertainRatiosOfTheTrueBits) {
    const int n = 200;
    for (const channel::Target& target : detectors::test::TestTargets())
        for (int kind = 0; kind < 4; ++kind) {
            channel::NoiseSource noise(1, kind);
            const Frame f(channel::FrameEncoder(target), noise, n, target.Memory(), 0);
            std::vector<float> llr(n), la(n, -50.0f);
            const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target, kind == 3 ? 2 : 0);
            for (bool extrinsic : {false, true}) {
                if (kind < 2)
                    detectors::SoftPlain(t, kind ? SoftMode::kMaxLog : SoftMode::kExact, 0,
                                         f.y.data(), n, target.Memory(), la.data(), extrinsic,
                                         llr.data());
                else if (kind == 2)
                    detectors::SovaPlain(t, 0, f.y.data(), n, target.Memory(), 0, la.data(),
                                         extrinsic, llr.data());
                else
                    detectors::NpbcjrPlain(t, target, {0.3f, 0.1f}, 0, f.y.data(), n,
                                           target.Memory(), la.data(), extrinsic, llr.data());
                for (int k = 0; k < n; ++k)
                    ASSERT_EQ(llr[k], f.raw[k] ? -INFINITY : INFINITY)
                        << target.CoefficientText() << " kind " << kind << " bit " << k;
            }
        }
}

TEST(SoftDetectors, BcjrClaimsWhatItKnowsOnTheIdealChannel) {
    // 2^17 bits of EPR4 at a deviation of 0.6: in each bin of |L| (half a
    // unit wide) holding 30 errors or more, the bits err at the rate the
    // ratios claim, 1 / (1 + e^|L|), within five binomial deviations.
    const channel::Target target = Named("epr4");
    const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target);
    const int n = 4096, bins = 20;
    double count[bins] = {}, wrong[bins] = {}, claimed[bins] = {};
    channel::NoiseSource noise(11, 0);
    std::vector<float> llr(n);
    for (int frame = 0; frame < 32; ++frame) {
        const Frame f(channel::FrameEncoder(target), noise, n, 3, 0.6);
        detectors::SoftPlain(t, SoftMode::kExact, 0.36, f.y.data(), n, 3, nullptr, false,
                             llr.data());
        for (int k = 0; k < n; ++k) {
            const double a = std::fabs(llr[k]);
            const int b = std::min(bins - 1, static_cast<int>(a * 2));
            count[b] += 1;
            claimed[b] += 1 / (1 + std::exp(a));
            wrong[b] += (llr[k] < 0) != (f.raw[k] != 0);
        }
    }
    int checked = 0;
    for (int b = 0; b < bins; ++b) {
        const double rate = claimed[b] / count[b];
        if (rate * count[b] < 30) continue;
        EXPECT_NEAR(wrong[b] / count[b], rate, 5 * std::sqrt(rate * (1 - rate) / count[b])) << b;
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

TEST(SoftDetectors, TheDetectorsFramesSideBySideEqualThePlainOnes) {
    // 11 frames (one group with sixteen lanes; a group of eight and one of
    // three with eight) through the table's maxlog, bcjr and npbcjr detectors: maxlog bit for bit
    // as the plain version of one, bcjr and npbcjr within their bounds (their noiseless maxlog bit
    // for bit). npbcjr with 1 to 3 taps: memory up to 9, the widest beyond the lanes, in the plain
    // version.
    const int n = 150, count = 11;
    using detectors::Kind;
    const struct {
        Kind kind;
        std::vector<float> predictor;
    } kinds[] = {{Kind::kMaxlog, {}},
                 {Kind::kBcjr, {}},
                 {Kind::kNpbcjr, {0.45f}},
                 {Kind::kNpbcjr, {0.5f, -0.25f}},
                 {Kind::kNpbcjr, {0.3f, -0.2f, 0.1f}}};
    float worst[2] = {0, 0};
    for (const channel::Target& target : detectors::test::TestTargets())
        for (const auto& [kind, predictor] : kinds)
            for (int tail : {0, target.Memory()})
                for (double variance : {0.0, 0.3 * target.Energy() / 3})
                    for (bool apriori : {false, true}) {
                        detectors::Setup setup;
                        setup.target = target;
                        setup.shape = {n, tail};
                        setup.noiseVariance = setup.predictionVariance = variance;
                        setup.predictor = predictor;
                        const auto detector = detectors::Make(kind, setup);
                        channel::NoiseSource noise(2, tail);
                        std::vector<Frame> frames;
                        std::vector<std::vector<float>> la(count),
                            llr(count, std::vector<float>(n));
                        std::vector<std::vector<std::uint8_t>> raw(count,
                                                                   std::vector<std::uint8_t>(n));
                        std::vector<const float*> ys, las;
                        std::vector<float*> outs;
                        std::vector<std::uint8_t*> raws;
                        for (int f = 0; f < count; ++f) {
                            frames.emplace_back(channel::FrameEncoder(target), noise, n, tail,
                                                std::sqrt(0.3 * target.Energy() / 3));
                            for (int k = 0; k < n; ++k)
                                la[f].push_back(((k * 5 + f) % 7 - 3) * 0.8f);
                            ys.push_back(frames[f].y.data());
                            las.push_back(la[f].data());
                            outs.push_back(llr[f].data());
                            raws.push_back(raw[f].data());
                        }
                        detector->DetectSoft(count, ys.data(),
                                             {apriori ? las.data() : nullptr, outs.data(), true},
                                             raws.data());
                        const detectors::SoftTrellis t =
                            detectors::MakeSoftTrellis(target, static_cast<int>(predictor.size()));
                        std::vector<float> want(n);
                        std::vector<std::uint8_t> decided(n);
                        for (int f = 0; f < count; ++f) {
                            const float* lf = apriori ? las[f] : nullptr;
                            if (kind == Kind::kNpbcjr)
                                detectors::NpbcjrPlain(t, target, predictor, variance, ys[f], n,
                                                       tail, lf, true, want.data(), decided.data());
                            else
                                detectors::SoftPlain(
                                    t, kind == Kind::kBcjr ? SoftMode::kExact : SoftMode::kMaxLog,
                                    variance, ys[f], n, tail, lf, true, want.data(),
                                    decided.data());
                            if (kind == Kind::kMaxlog || variance == 0) {
                                ASSERT_EQ(llr[f], want)
                                    << target.CoefficientText() << " frame " << f;
                                ASSERT_EQ(raw[f], decided)
                                    << target.CoefficientText() << " frame " << f;
                                continue;
                            }
                            for (int k = 0; k < n; ++k) {
                                const float d = std::fabs(llr[f][k] - want[k]);
                                float& w = worst[kind == Kind::kNpbcjr];
                                w = std::max(w, d / (1 + std::fabs(want[k])));
                            }
                        }
                    }
    // bcjr's and npbcjr's lanes are near the plain versions (measured:
    // 2.7e-3 and 2.6e-3), not equal.
    EXPECT_LT(worst[0], detectors::kBcjrLanesBound);
    EXPECT_LT(worst[1], detectors::kNpbcjrLanesBound);
    if (detectors::SoftLanesRun()) {
        EXPECT_GT(worst[0], 0);
        EXPECT_GT(worst[1], 0);
    }
}

} // namespace

namespace {

// Each kernel the processor runs, on 19 frames (groups of 16 and 3, or 8, 8
// and 3): maxlog's ratios are the plain ones bit for bit, bcjr's near them;
// and every kernel gives the AVX2 kernel's ratios and decisions bit for bit,
// npbcjr's (their metrics of whitened errors) included.
TEST(SoftDetectors, EveryLaneKernelGivesTheSameRatios) {
    using detectors::LaneKernel;
    if (!detectors::SoftLanesRun()) GTEST_SKIP() << "no lanes on this processor";
    const int n = 150, count = 19;
    const struct {
        bool exact;
        std::vector<float> predictor;
    } kinds[] = {{false, {}}, {true, {}}, {true, {0.45f}}, {true, {0.5f, -0.25f}}};
    for (const channel::Target& target : detectors::test::TestTargets())
        for (const auto& [exact, predictor] : kinds)
            for (int tail : {0, target.Memory()})
                for (bool apriori : {false, true}) {
                    const int P = static_cast<int>(predictor.size());
                    const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target, P);
                    if (t.memory < 1 || t.memory > detectors::kMaxLaneMemory) continue;
                    const double variance = 0.3 * target.Energy() / 3;
                    channel::NoiseSource noise(3, tail);
                    std::vector<Frame> frames;
                    std::vector<std::vector<float>> la(count);
                    std::vector<const float*> ys, las;
                    for (int f = 0; f < count; ++f) {
                        frames.emplace_back(channel::FrameEncoder(target), noise, n, tail,
                                            std::sqrt(variance));
                        for (int k = 0; k < n; ++k) la[f].push_back(((k * 3 + f) % 9 - 4) * 0.7f);
                        ys.push_back(frames[f].y.data());
                        las.push_back(la[f].data());
                    }
                    std::vector<std::vector<float>> first;
                    std::vector<std::vector<std::uint8_t>> firstRaw;
                    for (LaneKernel kernel : {LaneKernel::kAvx2, LaneKernel::kAvx512}) {
                        if (!detectors::SoftLanesRun(kernel)) continue;
                        detectors::LaneRun run;
                        run.kernel = kernel;
                        run.metrics = P == 0 ? detectors::LevelLaneMetrics(t)
                                             : detectors::WhitenedLaneMetrics(t, target, predictor);
                        std::vector<std::vector<float>> llr(count, std::vector<float>(n));
                        std::vector<std::vector<std::uint8_t>> raw(count,
                                                                   std::vector<std::uint8_t>(n));
                        std::vector<float*> outs;
                        std::vector<std::uint8_t*> raws;
                        for (int f = 0; f < count; ++f) {
                            outs.push_back(llr[f].data());
                            raws.push_back(raw[f].data());
                        }
                        detectors::LaneFrames(t, exact, variance, {n, tail}, count, ys.data(),
                                              apriori ? las.data() : nullptr, false, outs.data(),
                                              raws.data(), run);
                        const std::string what = target.CoefficientText() + " kernel " +
                                                 std::to_string(static_cast<int>(kernel)) +
                                                 " taps " + std::to_string(P);
                        if (first.empty()) {
                            first = llr;
                            firstRaw = raw;
                        } else {
                            ASSERT_EQ(llr, first) << what;
                            ASSERT_EQ(raw, firstRaw) << what;
                        }
                        if (P > 0) continue;
                        std::vector<float> want(n);
                        for (int f = 0; f < count; ++f) {
                            detectors::SoftPlain(t, exact ? SoftMode::kExact : SoftMode::kMaxLog,
                                                 variance, ys[f], n, tail,
                                                 apriori ? las[f] : nullptr, false, want.data());
                            for (int k = 0; k < n; ++k) {
                                if (!exact) {
                                    ASSERT_EQ(llr[f][k], want[k]) << what << " " << f;
                                }
                                ASSERT_LE(std::fabs(llr[f][k] - want[k]),
                                          detectors::kBcjrLanesBound * (1 + std::fabs(want[k])))
                                    << what << " " << f << " " << k;
                            }
                        }
                    }
                }
}

TEST(SoftDetectors, FramesWithoutSamplesGiveNoRatios) {
    // No bits and no tail: nothing to read or write (the sanitizers' tree
    // sees any access); bits but no samples cannot happen.
    for (detectors::Kind kind : {detectors::Kind::kMaxlog, detectors::Kind::kBcjr}) {
        detectors::Setup setup;
        setup.target = Named("e3pr4");
        setup.shape = {0, 0};
        setup.noiseVariance = 0.5;
        const auto detector = detectors::Make(kind, setup);
        std::vector<float> y(1, 0.25f), llr(1, 7.0f);
        std::vector<std::uint8_t> raw(1, 9);
        const float* ys[] = {y.data()};
        float* outs[] = {llr.data()};
        std::uint8_t* raws[] = {raw.data()};
        detector->DetectSoft(1, ys, {nullptr, outs, false}, raws);
        EXPECT_EQ(llr[0], 7.0f);
        EXPECT_EQ(raw[0], 9);
    }
}

// The target 1 (memory 0, levels 0 and 1): every soft detector gives the
// sample's own ratio ln p(y | 0) / p(y | 1) = (1 - 2y) / (2 sigma^2), plus the
// a-priori ratio for the posterior; its decisions are the posterior's sign.
TEST(SoftDetectors, OnTheTargetOneTheRatioIsTheSamplesOwn) {
    detectors::Setup setup;
    setup.target = channel::Target({1.0});
    setup.shape = {5, 0};
    setup.noiseVariance = setup.predictionVariance = 0.25;
    const std::vector<float> y = {-0.3f, 0.0f, 0.5f, 0.8f, 1.6f};
    const std::vector<float> la = {1.0f, -2.0f, 0.5f, 0.0f, 3.0f};
    for (const char* name : {"bcjr", "maxlog", "sova", "npbcjr"}) {
        const std::unique_ptr<detectors::Detector> d =
            detectors::Make(detectors::Find(name)->kind, setup);
        EXPECT_STREQ(detectors::KindName(d->kind()), name);
        for (int posterior = 0; posterior < 2; ++posterior) {
            std::vector<float> l(5);
            std::vector<std::uint8_t> raw(5, 9);
            const float *yp = y.data(), *ap = la.data();
            float* lp = l.data();
            std::uint8_t* rp = raw.data();
            detectors::SoftFrames soft;
            soft.apriori = &ap;
            soft.llr = &lp;
            soft.extrinsic = posterior == 0;
            d->DetectSoft(1, &yp, soft, &rp);
            for (int k = 0; k < 5; ++k) {
                const double own = (1 - 2.0 * y[k]) / (2 * 0.25);
                const double want = own + (posterior ? la[k] : 0);
                EXPECT_NEAR(l[k], want, 1e-5 * (1 + std::fabs(want))) << name << " " << k;
                EXPECT_EQ(raw[k], own + la[k] < 0 ? 1 : 0) << name << " " << k;
            }
        }
    }
}

} // namespace
