#pragma once
// The lab's random source: xoshiro256** for the bits and a ziggurat for
// Gaussian deviates (256 layers; the lanes' 1024). Every (seed, stream) pair is its own
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

    // The same as AddNoise, but the deviates come from kLanes lanes of their
    // own (seeded from the same seed and stream, after the four words of the
    // generator above): sample k of each call draws from lane k mod kLanes.
    // A lane is two generators and a ziggurat of 1024 layers: one draw of
    // the first picks the sample's layer and place; the rare sample (0.43 %)
    // that falls outside its layer's rectangle takes the rest of the
    // ziggurat's draws from the second (its wedge test with one exponential
    // instead of two).
    // The lanes run side by side in vector registers where the processor has
    // them; every processor gives the same numbers.
    static constexpr int kLanes = 8;
    void AddNoiseLanes(const float* clean, float* received, int n, double sigma);

    // The code paths of AddNoiseLanes, for the tests: each gives the same
    // numbers; Runs says which this processor has.
    enum class Path { kScalar, kAvx2, kAvx512 };
    static bool Runs(Path path);
    void AddNoiseLanes(const float* clean, float* received, int n, double sigma, Path path);

  private:
    std::uint64_t s_[4];
    // lane_[w][l]: word w of lane l's first generator, so that one vector
    // load holds a word of every lane; slow_ the second ones.
    alignas(64) std::uint64_t lane_[4][kLanes];
    alignas(64) std::uint64_t slow_[4][kLanes];
};

} // namespace channel
