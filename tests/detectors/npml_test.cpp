#include "detectors/npml.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "detectors/viterbi.h"
#include "frame_fixture.h"

namespace detectors {
namespace {

using Bits = std::vector<std::uint8_t>;

// Noise with colour: white noise through 1 + 0.6 D - 0.3 D^2, as an equalizer
// leaves it.
std::vector<float> Coloured(const test::Frame& f, channel::NoiseSource& noise, double sigma) {
    std::vector<float> y(f.clean);
    double w1 = 0, w2 = 0;
    for (float& v : y) {
        const double w = sigma * noise.Normal();
        v = static_cast<float>(v + w + 0.6 * w1 - 0.3 * w2);
        w2 = w1, w1 = w;
    }
    return y;
}

TEST(Npml, FastEqualsPlainOnEveryTargetAndPredictor) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const channel::Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        channel::NoiseSource noise(31, 0);
        const double unit = std::sqrt(target.D2Min());
        for (const std::vector<float>& p : {std::vector<float>{0.5f},
                                            {0.6f, -0.3f},
                                            {-0.2f, 0.1f, 0.05f},
                                            {0.3f, 0.2f, -0.1f, 0.05f}}) {
            Npml fast(target, p);
            for (int n : {1, 2, 3, 4, 5, 6, 7, 63, 64, 65, 4096}) {
                for (int rep = 0; rep < (n < 100 ? 6 : 1); ++rep) {
                    const int tail = rep % 2 == 0 ? target.Memory() : 0;
                    const test::Frame f(encoder, noise, n, tail, 0);
                    std::vector<float> y = Coloured(f, noise, 0.5 * unit);
                    // Ties and a NaN now and then.
                    if (rep == 3)
                        for (float& v : y) v = std::round(v * 2) / 2;
                    if (rep == 5) y[y.size() / 2] = nan;
                    Bits plain(n), got(n);
                    NpmlPlain(target, p, y.data(), n, tail, plain.data());
                    fast.Detect(y.data(), n, tail, got.data());
                    ASSERT_EQ(got, plain)
                        << target.Name() << " taps " << p.size() << " n " << n << " rep " << rep;
                }
            }
        }
    }
}

TEST(Npml, WithZeroTapsItIsTheViterbiDetector) {
    for (const channel::Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        channel::NoiseSource noise(32, 0);
        for (int taps = 1; taps <= kMaxPredictorTaps; ++taps) {
            Npml npml(target, std::vector<float>(static_cast<std::size_t>(taps), 0.0f));
            Viterbi viterbi(target);
            for (int n : {5, 200, 4096}) {
                const test::Frame f(encoder, noise, n, target.Memory(), 0);
                const std::vector<float> y = Coloured(f, noise, 0.7 * std::sqrt(target.D2Min()));
                Bits a(n), b(n);
                npml.Detect(y.data(), n, target.Memory(), a.data());
                viterbi.Detect(y.data(), n, target.Memory(), b.data());
                ASSERT_EQ(a, b) << target.Name() << " taps " << taps << " n " << n;
            }
        }
    }
}

} // namespace
} // namespace detectors
