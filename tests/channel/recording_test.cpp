// The recording channel's physics and its equalizer, each against a
// computation of its own: numerical integrals of the spectra and responses,
// the ideal channel as a head, and the design's own optimality conditions.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/equalizer.h"
#include "channel/head.h"
#include "channel/readback.h"

namespace channel {
namespace {

constexpr double kPi = 3.141592653589793;

// Composite Simpson's rule, `steps` even.
template <typename F> double Simpson(F f, double a, double b, int steps) {
    const double h = (b - a) / steps;
    double sum = f(a) + f(b);
    for (int i = 1; i < steps; ++i) sum += (i % 2 ? 4 : 2) * f(a + i * h);
    return sum * h / 3;
}

TEST(Head, LowPassedResponsesAgainstTheirSpectra) {
    // Lorentzian: G(f) = (pi W / 2) e^(-pi W |f|), so g_LP(t) = Int_-1/2^1/2
    // G(f) cos(2 pi f t) df. erf: G'(f) = 2 exp(-(pi f / k)^2), k = 2 sqrt(ln 2)
    // / W, and g_LP(t) = 2 Int_0^1/2 G'(f) sin(2 pi f t) / (2 pi f) df.
    for (double w : {0.5, 1.0, 2.0, 3.5, 5.0}) {
        const Head lorentz(HeadKind::kLorentz, w), erf(HeadKind::kErf, w);
        const double k = 2 * std::sqrt(std::log(2.0)) / w;
        for (double t : {0.0, 0.3, -1.7, 4.5, 12.25, -40.1}) {
            const double l = Simpson(
                [&](double f) {
                    return kPi * w / 2 * std::exp(-kPi * w * std::fabs(f)) *
                           std::cos(2 * kPi * f * t);
                },
                -0.5, 0.5, 20000);
            EXPECT_NEAR(lorentz.LowPassTransition(t), l, 1e-9) << w << " " << t;
            const double e = Simpson(
                [&](double f) {
                    const double slope = 2 * std::exp(-(kPi * f / k) * (kPi * f / k));
                    return f == 0 ? 2 * slope * t
                                  : 2 * slope * std::sin(2 * kPi * f * t) / (2 * kPi * f);
                },
                0, 0.5, 20000);
            EXPECT_NEAR(erf.LowPassTransition(t), e, 1e-9) << w << " " << t;
        }
        // Before the low-pass: g itself.
        EXPECT_DOUBLE_EQ(lorentz.Transition(w / 2), 0.5);
        EXPECT_NEAR(erf.Transition(1e3), 1, 1e-15);
    }
}

TEST(Head, BitEnergyAgainstTheTimeDomain) {
    // E_i = Int (g(t) - g(t - 1))^2 dt; the Lorentzian's closed form pi W /
    // (2 (1 + W^2)) and the erf head's quadrature of the spectrum, against
    // Simpson over t (beyond |t| = 400 the Lorentzian's h^2 ~ W^4 / (4 t^6)
    // adds less than 1e-12).
    for (double w : {0.5, 1.0, 2.0, 3.0, 5.0}) {
        for (HeadKind kind : {HeadKind::kLorentz, HeadKind::kErf}) {
            const Head head(kind, w);
            const double span = 400;
            double e = Simpson(
                [&](double t) {
                    const double h = head.Transition(t) - head.Transition(t - 1);
                    return h * h;
                },
                -span, span, 800000);
            EXPECT_NEAR(head.BitEnergy() / e, 1, 2e-6) << w << " " << int(kind);
        }
        EXPECT_DOUBLE_EQ(Head(HeadKind::kLorentz, w).BitEnergy(), kPi * w / (2 * (1 + w * w)));
    }
}

// The ideal channel as a head: samples Sum_m f_m p_{k-m} are Sum_m f_m a_{k-m}
// / 2 plus Sum f / 2, so q = f / 2 and the mean Sum f / 2.
InputStatistics IdealStatistics(const Target& t, double sigma) {
    InputStatistics s;
    for (double f : t.Coefficients()) {
        s.q.push_back(f / 2);
        s.offset += f / 2;
    }
    s.noise = sigma * sigma;
    return s;
}

TEST(Equalizer, OfTheIdealChannelIsAUnitImpulse) {
    for (const char* name : {"pr4", "e3pr4", "1,2,1"}) {
        Target t;
        ASSERT_EQ(Target::Parse(name, t), "");
        const Equalizer clean = DesignEqualizer(IdealStatistics(t, 0), t, 15);
        EXPECT_NEAR(clean.mse, 0, 1e-9) << name;
        for (int i = 0; i < clean.Taps(); ++i)
            EXPECT_NEAR(clean.taps[static_cast<std::size_t>(i)], i == clean.delay ? 1 : 0, 1e-6)
                << name << " tap " << i;
        // With noise it can only do better than passing the noise through.
        const Equalizer noisy = DesignEqualizer(IdealStatistics(t, 0.3), t, 15);
        EXPECT_LT(noisy.mse, 0.09) << name;
        EXPECT_GT(noisy.mse, 0) << name;
    }
}

TEST(Equalizer, GeneralizedTargetsNeverLoseAndReproduceThemselves) {
    const Readback readback(Head(HeadKind::kLorentz, 2.5), 0.04, false);
    const InputStatistics s = readback.Statistics(0.06);
    double last = 1e9;
    for (int l = kMinGpr; l <= kMaxGpr; ++l) {
        const Equalizer gpr = DesignGeneralizedTarget(s, l, 15);
        EXPECT_LE(gpr.mse, last * (1 + 1e-9)) << l;
        last = gpr.mse;
        EXPECT_EQ(gpr.target.Coefficients().front(), 1.0);
        EXPECT_EQ(gpr.target.Memory(), l);
        // Given back as a list, the same target gets the same filter and error.
        Target again;
        ASSERT_EQ(Target::Parse(gpr.target.CoefficientText(), again), "");
        const Equalizer fixed = DesignEqualizer(s, again, 15);
        EXPECT_NEAR(fixed.mse / gpr.mse, 1, 1e-6) << l;
        EXPECT_EQ(fixed.delay, gpr.delay) << l;
        for (int i = 0; i < 15; ++i)
            EXPECT_NEAR(fixed.taps[i], gpr.taps[i], 1e-6 * std::fabs(gpr.taps[i]) + 1e-9) << l;
    }
    // The joint design is at least as good as any fixed target of its size.
    Target epr4;
    Target::Parse("epr4", epr4);
    EXPECT_LT(DesignGeneralizedTarget(s, 3, 15).mse / 4.0,
              DesignEqualizer(s, epr4, 15).mse / epr4.Energy() * 4.0);
}

TEST(Equalizer, PredictorSolvesTheNormalEquations) {
    // An AR(2) process e_k = 0.5 e_{k-1} - 0.3 e_{k-2} + w_k has r(1) / r(0)
    // = 0.5 / 1.3 and r(2) = 0.5 r(1) - 0.3 r(0): its predictor is (0.5, -0.3)
    // and a third tap adds nothing.
    const double r0 = 1, r1 = 0.5 / 1.3, r2 = 0.5 * r1 - 0.3, r3 = 0.5 * r2 - 0.3 * r1;
    const std::vector<double> p = DesignPredictor({r0, r1, r2, r3}, 3);
    EXPECT_NEAR(p[0], 0.5, 1e-12);
    EXPECT_NEAR(p[1], -0.3, 1e-12);
    EXPECT_NEAR(p[2], 0, 1e-12);
}

} // namespace
} // namespace channel
