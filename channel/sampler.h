#pragma once
// The channel's noiseless output at any instant, not only at the integers:
// what a receiver whose clock is off reads. On the ideal channel the target's
// sinc-interpolated waveform y(t) = Sum_j p_j h(t - j), h(t) = Sum_m f_m
// sinc(t - m) (over +-kIdealSpan bit periods); on a head its low-passed
// readback Sum_j p_j h(t - j), h(t) = g_LP(t) - g_LP(t - 1) over +-Span(),
// plus each jittered transition's term b_k (g_LP(t - k - Delta_k) - g_LP(t -
// k)) within kJitterReach of t (channel/readback.h's model).
//
// h is tabulated at kPhases phases a bit period and an instant takes the
// nearest, at most 1 / (2 kPhases) of a bit period away; at the integers the
// table is h itself, so the ideal channel's samples there are the target's
// levels exactly (integer targets). Each sample is one dot product in a fixed
// order of additions, the same on every processor.
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/noise.h"
#include "channel/readback.h"
#include "channel/target.h"

namespace channel {

inline constexpr int kIdealSpan = 64;

// A frame's written bits as the sampler reads them, one for each thread.
struct SamplerFrame {
    std::vector<float> bits; // p_j at j + base
    int base = 0;
    int n = 0;
    // The transitions, with Readback::kJitterPad entries of padding after
    // the `transitions` real ones.
    int transitions = 0;
    std::vector<int> at;         // their bit positions k, ascending
    std::vector<float> sign;     // their b_k = +-1
    std::vector<double> delta;   // their jitter Delta_k
    std::vector<int> before;     // [m]: the transitions at k < m, m = 0 ... n + 1
    std::vector<double> deviate; // scratch for the draws
};

class Sampler {
  public:
    explicit Sampler(const Target& target);
    // A head's readback; with jitter its transition table (Read's) is used.
    explicit Sampler(std::shared_ptr<const Readback> readback);

    static constexpr int kPhases = 2048;

    bool Recording() const { return readback_ != nullptr; }
    int Span() const { return span_; }
    // h(t) itself, in double: for designs, not for frames.
    double BitResponseAt(double t) const;

    // The precoder bits prec[0 ... n - 1] (all others 0) into `frame`; on a
    // head with jitter one deviate per transition (the one after the last
    // bit too) from `source`, in order, as Readback::Read draws them
    // (`jitter` false: none drawn, every transition where it belongs).
    void Load(const std::uint8_t* prec, int n, NoiseSource& source, SamplerFrame& frame,
              bool jitter = true) const;
    // The noiseless output at t.
    float At(double t, const SamplerFrame& frame) const { return At(kernel_, t, frame); }
    // The same with the jitter terms made by `kernel` (one the processor
    // runs): the same floats from each.
    float At(JitterKernel kernel, double t, const SamplerFrame& frame) const;
    // The same, its jitter terms one transition after the other: At's oracle.
    float AtPlain(double t, const SamplerFrame& frame) const;

  private:
    float Unjittered(double t, const SamplerFrame& frame) const;
    // The jitter terms at t (Readback::JitterTerms) into term; their count.
    int Terms(JitterKernel kernel, double t, const SamplerFrame& frame, float* term) const;
    void Tabulate();
    std::shared_ptr<const std::vector<float>> Make() const;

    Target target_;
    std::shared_ptr<const Readback> readback_;
    int span_ = 0;
    int width_ = 0; // of a row: 2 span + 2, padded to whole vectors
    // [r][i] = h(span - i + r / kPhases): shared by every sampler of the same
    // head and density (or target, on the ideal channel), made once.
    std::shared_ptr<const std::vector<float>> rows_;
    const float* table_ = nullptr;
    JitterKernel kernel_ = Readback::BestJitterKernel();
};

} // namespace channel
