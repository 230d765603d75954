#pragma once
// The lab's random source: xoshiro256** for the bits and a 256-layer
// ziggurat for Gaussian deviates. Every (seed, stream) pair is its own
// independent stream (the lab gives each fixed work chunk its own stream, so
// counts do not depend on threads). Not the window's generator: the window
// keeps its fixed linear congruential source (channel/random.h).
#include <cstdint>

namespace channel {

class NoiseSource {
  public:
    // The four state words come from splitmix64 over a mix of both numbers,
    // so neighbouring seeds and streams start far apart.
    NoiseSource(std::uint64_t seed, std::uint64_t stream);

    // 64 uniform bits.
    std::uint64_t Bits();

    // One N(0,1) deviate.
    double Normal();
    // n of them: the values n calls of Normal() would give.
    void Normals(double* out, int n);

    // received[k] = float(clean[k] + sigma * N(0,1)), k = 0 ... n-1, in
    // double and rounded to float once. The deviates are those n calls of
    // Normal() would give, drawn with the generator held in registers.
    // `received` may be `clean`.
    void AddNoise(const float* clean, float* received, int n, double sigma);

    // n uniform raw bits (0/1 bytes), 64 from each Bits().
    void RandomBits(std::uint8_t* bits, int n);

  private:
    std::uint64_t s_[4];
};

} // namespace channel
