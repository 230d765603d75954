#pragma once
// Random noisy frames of any target for the detector tests, from the lab's
// noise source.
#include <cstdint>
#include <vector>

#include "channel/encoder.h"
#include "channel/noise.h"

namespace detectors::test {

struct Frame {
    std::vector<std::uint8_t> raw, prec;
    std::vector<float> clean, y; // n + tail samples
    Frame(const channel::FrameEncoder& encoder, channel::NoiseSource& noise, int n, int tail,
          double sigma)
        : raw(n), prec(n), clean(n + tail), y(n + tail) {
        noise.RandomBits(raw.data(), n);
        encoder.Precode(raw.data(), n, prec.data());
        encoder.Levels(prec.data(), n, tail, clean.data());
        noise.AddNoise(clean.data(), y.data(), n + tail, sigma);
    }
};

// The targets every detector test runs on: the named ones, a real one, one
// without a precoder and one of memory 6.
inline std::vector<channel::Target> TestTargets() {
    std::vector<channel::Target> targets;
    for (const char* text :
         {"pr4", "epr4", "e2pr4", "e3pr4", "1,0.8,-0.3", "2,1", "1,2,1", "1,1,0,-1,-1,1,-1"}) {
        channel::Target t;
        channel::Target::Parse(text, t);
        targets.push_back(t);
    }
    return targets;
}

} // namespace detectors::test
