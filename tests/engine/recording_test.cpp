// The recording channel end to end: the equalizer's designed error against
// what the simulated chain measures, its orthogonality to the inputs, and
// the noise-predictive detector's gain where the noise has colour.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/bounds.h"
#include "engine/chain.h"
#include "engine/error_rate.h"

namespace {

engine::ChainSettings Head(channel::HeadKind kind, double density, double jitter,
                           const char* target) {
    engine::ChainSettings s;
    s.head = kind;
    s.density = density;
    s.jitter = jitter;
    channel::Target::Parse(target, s.target);
    return s;
}

TEST(Recording, MeasuredErrorIsTheDesignedOneAndOrthogonalToTheInputs) {
    // Statistical bounds of five deviations; neighbouring errors are
    // correlated, so the samples count as a tenth as many independent ones.
    const struct {
        engine::ChainSettings chain;
        double snrDb;
    } cases[] = {{Head(channel::HeadKind::kLorentz, 2.5, 0, "e2pr4"), 22},
                 {Head(channel::HeadKind::kErf, 1.5, 0.08, "epr4"), 20},
                 {Head(channel::HeadKind::kLorentz, 1.2, 0.2, "pr4"), 18}};
    for (const auto& c : cases) {
        const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(c.chain), c.snrDb);
        const engine::ChannelDesign design = engine::DesignChannel(c.chain, sigma);
        const channel::Equalizer& eq = design.equalizer;
        engine::Chain chain(design, 4096);
        engine::Frame f = chain.MakeFrame();
        channel::NoiseSource source(41, 0);
        double e2 = 0, e4 = 0;
        std::vector<double> cross(static_cast<std::size_t>(eq.Taps())), x2(cross.size());
        long n = 0;
        for (int frame = 0; frame < 150; ++frame) {
            chain.Next(source, f);
            // Away from the frame's ends, where the data are as random as designed.
            for (int k = 300; k < 3800; ++k, ++n) {
                const double e =
                    f.received[static_cast<std::size_t>(k)] - f.clean[static_cast<std::size_t>(k)];
                e2 += e * e;
                e4 += e * e * e * e;
                for (int i = 0; i < eq.Taps(); ++i) {
                    const double x = f.readback[static_cast<std::size_t>(eq.FirstInput(k) + i -
                                                                         f.readbackFirst)] -
                                     eq.offset;
                    cross[static_cast<std::size_t>(i)] += e * x;
                    x2[static_cast<std::size_t>(i)] += x * x;
                }
            }
        }
        const double mse = e2 / n, independent = n / 10.0;
        const double sd = std::sqrt((e4 / n - mse * mse) / independent);
        EXPECT_NEAR(mse, eq.mse, 5 * sd) << c.chain.density << " " << c.chain.jitter;
        for (int i = 0; i < eq.Taps(); ++i) {
            const double rho = cross[static_cast<std::size_t>(i)] /
                               std::sqrt(e2 * x2[static_cast<std::size_t>(i)]);
            EXPECT_LT(std::fabs(rho), 5 / std::sqrt(independent))
                << c.chain.density << " tap " << i;
        }
    }
}

TEST(Recording, NpmlBeatsViterbiWhereTheNoiseHasColourAndThreadsChangeNothing) {
    // E2PR4 on a Lorentzian head at density 2 and 20 dB: the equalized noise's
    // first correlation is about a third of its power. Errors come in bursts
    // of up to about 8 bits, so a count's variance is at most 8 times itself.
    engine::BerSettings settings;
    settings.bits = 10'000'000;
    settings.errors = settings.bits;
    settings.threads = 2;
    engine::BerSetup setup;
    setup.chain = Head(channel::HeadKind::kLorentz, 2, 0.02, "e2pr4");
    setup.detectors = {detectors::Kind::kViterbi, detectors::Kind::kNpml};
    const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), 20);
    const std::atomic<bool> stop{false};
    engine::PointCounts two, one;
    ASSERT_TRUE(engine::RunPoint(settings, setup, 0, sigma, stop, two));
    const double viterbi = static_cast<double>(two.detectors[0].bitErrors);
    const double npml = static_cast<double>(two.detectors[1].bitErrors);
    EXPECT_LT(npml + 5 * std::sqrt(8 * npml), viterbi - 5 * std::sqrt(8 * viterbi))
        << npml << " " << viterbi;
    settings.bits = 1'000'000;
    settings.threads = 1;
    ASSERT_TRUE(engine::RunPoint(settings, setup, 0, sigma, stop, one));
    settings.threads = 3;
    engine::PointCounts three;
    ASSERT_TRUE(engine::RunPoint(settings, setup, 0, sigma, stop, three));
    EXPECT_EQ(one.detectors[0].bitErrors, three.detectors[0].bitErrors);
    EXPECT_EQ(one.detectors[1].bitErrors, three.detectors[1].bitErrors);
}

} // namespace

namespace {

TEST(Recording, TheConverterQuantizesTheEqualizersOutput) {
    // The same frame with and without a converter: each sample the one the
    // converter makes of the equalized sample, and nearly all of them moved.
    engine::ChainSettings s = Head(channel::HeadKind::kLorentz, 2, 0.05, "e3pr4");
    const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(s), 20);
    const engine::ChannelDesign plain = engine::DesignChannel(s, sigma);
    s.adcBits = 6;
    const engine::ChannelDesign quantized = engine::DesignChannel(s, sigma);
    engine::Chain a(plain, 1000), b(quantized, 1000);
    ASSERT_EQ(a.Converter(), nullptr);
    ASSERT_NE(b.Converter(), nullptr);
    engine::Frame fa = a.MakeFrame(), fb = b.MakeFrame();
    channel::NoiseSource sa(7, 0), sb(7, 0);
    a.Next(sa, fa);
    b.Next(sb, fb);
    const channel::Adc& adc = *b.Converter();
    int moved = 0;
    for (std::size_t k = 0; k < fa.received.size(); ++k) {
        EXPECT_EQ(fb.received[k], adc.Value(adc.Code(fa.received[k]))) << k;
        moved += fb.received[k] != fa.received[k];
    }
    EXPECT_GT(moved, 990);
}

} // namespace
