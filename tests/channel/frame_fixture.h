#pragma once
// Random noisy frames for the detector tests, from the lab's noise source.
#include <cstdint>
#include <vector>

#include "channel/frame.h"
#include "channel/noise.h"

namespace channel::test {

struct Frame {
    std::vector<std::uint8_t> raw, prec;
    std::vector<std::int8_t> samp;
    std::vector<float> y;
    Frame(NoiseSource& noise, int n, double sigma) : raw(n), prec(n), samp(n), y(n) {
        noise.RandomBits(raw.data(), n);
        EncodeFrame(raw.data(), n, prec.data(), samp.data());
        noise.AddNoise(samp.data(), y.data(), n, sigma);
    }
};

} // namespace channel::test
