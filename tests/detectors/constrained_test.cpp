#include "detectors/constrained.h"

#include <gtest/gtest.h>

#include <cmath>

#include "detectors/npml.h"
#include "detectors/viterbi.h"
#include "frame_fixture.h"

namespace detectors {
namespace {

// Whether coded bits keep the row's run rule (k aside).
bool KeepsRuns(const channel::ConstraintRow& row, const std::uint8_t* c, int n) {
    int run = 0;
    for (int i = 0; i < n; ++i) {
        run = c[i] ? run + 1 : 0;
        if (run > 0 && !channel::RunAllowed(row, i % row.codeBits, run)) return false;
    }
    return true;
}

struct Case {
    const char* target;
    channel::ConstraintKind kind;
};
const Case kCases[] = {
    {"pr4", channel::ConstraintKind::kMtr45},    {"epr4", channel::ConstraintKind::kMtr45},
    {"e2pr4", channel::ConstraintKind::kMtr45},  {"e3pr4", channel::ConstraintKind::kMtr45},
    {"epr4", channel::ConstraintKind::kTvmtr89}, {"e2pr4", channel::ConstraintKind::kTvmtr89},
};

Setup SetupFor(const Case& c, int bits, int tail, bool npml) {
    channel::Target t;
    EXPECT_EQ(channel::Target::Parse(c.target, t), "");
    Setup s;
    s.target = t.WithNrzi();
    s.shape = {bits, tail ? t.Memory() : 0};
    s.constraint = c.kind;
    if (npml) s.predictor = {0.4f, -0.2f};
    return s;
}

TEST(Constrained, ViterbiIsMaximumLikelihoodOverTheAllowedSequences) {
    channel::NoiseSource noise(3, 0);
    for (const Case& c : kCases) {
        const channel::ConstraintRow& row = channel::ConstraintOf(c.kind);
        const int n = row.codeBits * (c.kind == channel::ConstraintKind::kMtr45 ? 2 : 1);
        for (int tail = 0; tail < 2; ++tail) {
            const detectors::Setup setup = SetupFor(c, n, tail, false);
            const channel::FrameEncoder encoder(setup.target);
            const auto detector = MakeViterbiDetector(setup);
            for (int trial = 0; trial < 20; ++trial) {
                test::Frame frame(encoder, noise, n, setup.shape.tail, 0.9);
                std::vector<std::uint8_t> decided(static_cast<std::size_t>(n));
                const float* y = frame.y.data();
                std::uint8_t* out = decided.data();
                detector->Detect(1, &y, &out);
                double best = INFINITY;
                std::vector<std::uint8_t> bestC, cbits(decided.size()), prec(decided.size());
                std::vector<float> levels(frame.y.size());
                for (int v = 0; v < (1 << n); ++v) {
                    for (int i = 0; i < n; ++i) cbits[std::size_t(i)] = (v >> i) & 1;
                    if (!KeepsRuns(row, cbits.data(), n)) continue;
                    encoder.Precode(cbits.data(), n, prec.data());
                    encoder.Levels(prec.data(), n, setup.shape.tail, levels.data());
                    double d2 = 0;
                    for (std::size_t k = 0; k < levels.size(); ++k)
                        d2 += (frame.y[k] - levels[k]) * double(frame.y[k] - levels[k]);
                    if (d2 < best) {
                        best = d2;
                        bestC = cbits;
                    }
                }
                EXPECT_EQ(decided, bestC) << c.target << " " << row.name << " tail " << tail;
            }
        }
    }
}

TEST(Constrained, NoisyDecisionsNeverWriteAForbiddenRun) {
    channel::NoiseSource noise(5, 0);
    for (const Case& c : kCases) {
        const channel::ConstraintRow& row = channel::ConstraintOf(c.kind);
        for (bool npml : {false, true}) {
            const int n = row.codeBits * 200;
            const detectors::Setup setup = SetupFor(c, n, 1, npml);
            const channel::FrameEncoder encoder(setup.target);
            const auto detector = npml ? MakeNpmlDetector(setup) : MakeViterbiDetector(setup);
            int wrong = 0;
            for (int trial = 0; trial < 4; ++trial) {
                test::Frame frame(encoder, noise, n, setup.shape.tail, 1.2);
                std::vector<std::uint8_t> decided(static_cast<std::size_t>(n));
                const float* y = frame.y.data();
                std::uint8_t* out = decided.data();
                detector->Detect(1, &y, &out);
                EXPECT_TRUE(KeepsRuns(row, decided.data(), n)) << c.target << " " << row.name;
                for (int i = 0; i < n; ++i)
                    wrong += decided[std::size_t(i)] != frame.raw[std::size_t(i)];
            }
            EXPECT_GT(wrong, 0) << c.target << " " << row.name;
        }
    }
}

} // namespace
} // namespace detectors
