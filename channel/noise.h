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
    // The words `count` calls of Bits() would give, the generator held in
    // registers.
    void RandomWords(std::uint64_t* words, int count);

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

    // N(0,1) deviates to float precision from sixteen lanes of their own
    // (channel/noise_lanes16.cpp), seeded after the eight lanes: the stream
    // `lanes16`. Eight more generators each give one 64-bit word a step, two
    // 32-bit draws: sample 16 t + 2 l of the stream is the low half of
    // generator l's word of step t, sample 16 t + 2 l + 1 its high half.
    // Each draw is a try of a ziggurat of 128 layers: bits 0-6 the layer,
    // bit 7 the sign, bits 8-31 the place u, the sample u times the layer's
    // width / 2^24 in float. A draw outside its layer's rectangle (2.8 %) is
    // finished by two more generators, the misses in the stream's order: each
    // takes one draw of the first, whose top 24 bits are the uniform of the
    // wedge test (with a float exponential of its own) and whose low 32 bits
    // are a new try where the test fails; the base layer's tail (Marsaglia's
    // exponential method, in double) and a new try that misses too are
    // finished from the second. A call takes whole steps and keeps what the
    // last one drew beyond n for the next call, so the stream does not depend
    // on how it is cut into calls. The lanes run side by side in vector
    // registers where the processor has them; every path gives the same
    // numbers.
    void NormalsLanes16(float* z, int n);
    void NormalsLanes16(float* z, int n, Path path);
    // received[k] = float(clean[k] + sigma * z_k), in double and rounded to
    // float once, z_k the next n deviates of NormalsLanes16.
    void AddNoiseLanes16(const float* clean, float* received, int n, double sigma);
    void AddNoiseLanes16(const float* clean, float* received, int n, double sigma, Path path);

  private:
    std::uint64_t s_[4];
    // lane_[w][l]: word w of lane l's first generator, so that one vector
    // load holds a word of every lane; slow_ the second ones.
    alignas(64) std::uint64_t lane_[4][kLanes];
    alignas(64) std::uint64_t slow_[4][kLanes];
    // lanes16: wide_[w][l] word w of generator l; rare_ the misses' two
    // generators, four words each; carry_ the samples drawn and not yet
    // handed out, the next first.
    alignas(64) std::uint64_t wide_[4][kLanes];
    std::uint64_t rare_[8];
    int carried_ = 0;
    float carry_[16] = {};
};

} // namespace channel
