// The sampler on a head with jitter: its vector sum of the jitter terms is
// the plain one, bit for bit, at instants of every kind; the receiver's
// expanded terms are the plain sum's at the nearest phase within their bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "channel/sampler.h"

namespace channel {
namespace {

std::uint32_t Bits(float v) {
    std::uint32_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(Sampler, JitterTermsAreThePlainSumsToTheBit) {
    const struct {
        HeadKind head;
        double density, jitter;
        int bits;
    } cases[] = {{HeadKind::kLorentz, 2.5, 0.05, 3000},
                 {HeadKind::kLorentz, 1.0, 0.3, 500},
                 {HeadKind::kLorentz, 2.0, 0.1, 300},
                 {HeadKind::kLorentz, 3.0, 0.02, 7}};
    for (const auto& c : cases) {
        const Sampler sampler(std::make_shared<const Readback>(Head(c.head, c.density), c.jitter));
        NoiseSource source(3, 1);
        std::vector<std::uint8_t> prec(static_cast<std::size_t>(c.bits));
        source.RandomBits(prec.data(), c.bits);
        SamplerFrame frame;
        sampler.Load(prec.data(), c.bits, source, frame);
        ASSERT_GT(frame.transitions, 0);
        // Random instants over the frame and past its ends; whole bits and
        // whole phases (where the table's fraction is 0); clocks run away
        // (to no number at all).
        std::vector<double> instants;
        for (int i = 0; i < 4000; ++i)
            instants.push_back(-60 + std::ldexp(static_cast<double>(source.Bits() >> 11), -53) *
                                         (c.bits + 120));
        for (int k = -50; k <= c.bits + 50; k += 7) {
            instants.push_back(k);
            instants.push_back(k + 0.25);
            instants.push_back(k + 3.0 / Sampler::kPhases);
            instants.push_back(std::nextafter(static_cast<double>(k), -1e9));
        }
        for (double far : {-1e4, -41.0, 40.5, c.bits + 41.0, c.bits + 1e4, 1e300, std::nan("")})
            instants.push_back(far);
        // Every kernel this processor runs.
        for (JitterKernel kernel :
             {JitterKernel::kScalar, JitterKernel::kAvx2, JitterKernel::kAvx512}) {
            if (!Readback::Runs(kernel)) continue;
            int wrong = 0;
            for (double t : instants)
                wrong += Bits(sampler.At(kernel, t, frame)) != Bits(sampler.AtPlain(t, frame));
            EXPECT_EQ(wrong, 0) << static_cast<int>(kernel) << " " << c.density << " " << c.jitter
                                << " of " << instants.size();
        }
    }
}

// The readback at t in double from the head's own response: the bits
// within the sampler's span, the jitter terms within reach.
double Physics(const Sampler& sampler, const Head& head, const SamplerFrame& f, double t) {
    const int m = static_cast<int>(std::floor(t));
    double y = 0;
    for (int j = std::max(0, m - sampler.Span()); j <= std::min(f.n - 1, m + sampler.Span() + 1);
         ++j)
        y += f.bits[static_cast<std::size_t>(j + f.base)] * sampler.BitResponseAt(t - j);
    for (int i = 0; i < f.transitions; ++i) {
        const double x = t - f.at[static_cast<std::size_t>(i)];
        if (std::fabs(x) <= kJitterReach)
            y += f.sign[static_cast<std::size_t>(i)] *
                 (head.LowPassTransition(x - f.delta[static_cast<std::size_t>(i)]) -
                  head.LowPassTransition(x));
    }
    return y;
}

TEST(Sampler, ExpandedJitterTermsAreThePlainSumAtTheNearestPhase) {
    // Against the plain sum at the instant's phase: within the expansion's
    // bound, the plain sum's own rounding (its terms added one by one) and
    // its interpolation of TransitionAt's table; against the head's response
    // itself, where every Delta is expanded: the expansion's bound (1.04e-5
    // measured on the Lorentzian head at 2.5, kExpansionError on the erf head
    // at 0.5) and the floats' rounding. Without jitter: the same floats.
    const struct {
        HeadKind head;
        double density, jitter, plainBound, physicsBound;
    } cases[] = {{HeadKind::kLorentz, 2.5, 0.05, 1.5e-5, 1.1e-5},
                 {HeadKind::kErf, 0.5, 0.05, 8e-5, kExpansionError},
                 {HeadKind::kLorentz, 1.0, 0.3, 1e-5, 0},
                 {HeadKind::kErf, 0.5, 0.12, 2e-5, 0},
                 {HeadKind::kLorentz, 2.5, 0.0, 0, 0}};
    for (const auto& c : cases) {
        const Head head(c.head, c.density);
        const Sampler sampler(std::make_shared<const Readback>(head, c.jitter));
        NoiseSource source(5, 2);
        std::vector<std::uint8_t> prec(2000);
        source.RandomBits(prec.data(), 2000);
        SamplerFrame frame;
        sampler.Load(prec.data(), 2000, source, frame);
        ASSERT_EQ(c.physicsBound > 0, c.jitter > 0 && frame.wide == 0);
        double plain = 0, physics = 0;
        for (int i = 0; i < 8000; ++i) {
            // An instant within half a phase of k + r / kPhases, which it reads.
            const int k = -80 + static_cast<int>(source.Bits() % 2160);
            const int r = static_cast<int>(source.Bits() % Sampler::kPhases);
            const double off = (r == 0 ? 0.245 : 0.49) * ((source.Bits() % 2001) / 1000.0 - 1) +
                               (r == 0 ? 0.245 : 0);
            const double t = k + (r + off) / Sampler::kPhases, near = k + r / 2048.0;
            const double y = sampler.At(t, frame);
            plain = std::max(plain, std::fabs(y - sampler.AtPlain(c.jitter > 0 ? near : t, frame)));
            if (c.physicsBound > 0 && i % 40 == 0) // (the erf head's response is slow)
                physics = std::max(physics, std::fabs(y - Physics(sampler, head, frame, near)));
        }
        EXPECT_LE(plain, c.plainBound) << c.density << " " << c.jitter;
        EXPECT_LE(physics, c.physicsBound) << c.density << " " << c.jitter;
    }
}

} // namespace
} // namespace channel
