// The sampler on a head with jitter: its vector sum of the jitter terms is
// the plain one, bit for bit, at instants of every kind.
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

} // namespace
} // namespace channel
