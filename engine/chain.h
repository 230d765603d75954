#pragma once
// The channel as a chain of stages over whole frames, each with one job:
//   data source   random raw bits from the chunk's stream
//   precoder      the target's parity precoder (channel/encoder.h)
//   channel       precoder bits to the samples a noiseless receiver sees:
//                 the ideal target levels (ReadChannel)
//   noise         white Gaussian noise of deviation sigma on every sample
//   converter     when asked for, the samples quantized as a read channel's
//                 analog-to-digital converter gives them (channel/adc.h)
// and the detectors after them (detectors/detector.h). An equalizer would sit
// between the noise and the converter, on `received`.
//
// A frame of `bits` bits is followed, when the settings ask for a tail, by
// nu zero precoder bits: the channel's samples of them end the frame, so
// every data bit is decided with the samples that follow it.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "channel/adc.h"
#include "channel/encoder.h"
#include "channel/noise.h"
#include "channel/target.h"
#include "detectors/detector.h"

namespace engine {

// What a front end chooses about the channel: plain values.
struct ChainSettings {
    channel::Target target; // E3PR4 unless chosen
    bool tail = true;       // nu zero precoder bits after every frame
    // The noise's generators: the eight lanes of NoiseSource::AddNoiseLanes,
    // or the single generator of AddNoise (the lab's stream before the lanes).
    enum class Noise { kLanes, kSerial };
    Noise noise = Noise::kLanes;
    // Bits of the converter before the detectors; 0: none, the detectors see
    // the float samples. channel::Adc::WhyNot(target, adcBits) must be empty.
    int adcBits = 0;
};

// One frame on its way through the chain. Bits have the frame's length,
// samples its length plus the tail.
struct Frame {
    std::vector<std::uint8_t> raw;  // the data bits
    std::vector<std::uint8_t> prec; // what the precoder writes
    std::vector<float> clean;       // the channel's samples without noise
    std::vector<float> received;    // with noise: what the detectors see
};

// The channel stage: precoder bits in, noiseless samples out.
class ReadChannel {
  public:
    virtual ~ReadChannel() = default;
    // samples[0 ... shape.Samples() - 1] from prec[0 ... shape.bits - 1].
    virtual void Read(const std::uint8_t* prec, detectors::FrameShape shape, float* samples) = 0;
};

// The ideal channel: the target's own levels.
class IdealChannel final : public ReadChannel {
  public:
    explicit IdealChannel(const channel::FrameEncoder& encoder) : encoder_(encoder) {}
    void Read(const std::uint8_t* prec, detectors::FrameShape shape, float* samples) override {
        encoder_.Levels(prec, shape.bits, shape.tail, samples);
    }

  private:
    const channel::FrameEncoder& encoder_;
};

// One worker's chain for frames of `bits` bits: the stages and their scratch.
class Chain {
  public:
    Chain(const ChainSettings& settings, int bits);
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    const channel::Target& target() const { return encoder_.target(); }
    detectors::FrameShape Shape() const { return shape_; }
    const channel::FrameEncoder& Encoder() const { return encoder_; }
    // The converter, when the settings ask for one.
    const channel::Adc* Converter() const { return adc_ ? &*adc_ : nullptr; }

    // A frame of the right size for this chain.
    Frame MakeFrame() const;
    // The next frame of a stream: raw bits drawn from `source`, then
    // Transmit. The draws are the frame's bits, then its noise.
    void Next(channel::NoiseSource& source, double sigma, Frame& frame);
    // frame.raw, filled by the caller, through the precoder, the channel, the
    // noise drawn from `source` and the converter.
    void Transmit(channel::NoiseSource& source, double sigma, Frame& frame);

  private:
    channel::FrameEncoder encoder_;
    detectors::FrameShape shape_;
    std::unique_ptr<ReadChannel> channel_;
    ChainSettings::Noise noise_;
    std::optional<channel::Adc> adc_;
};

// The detectors a front end asks for, one of each kind, for this chain's
// frames; behind a converter, the Viterbi detector is the integer one
// (detectors/viterbi_int.h).
std::vector<std::unique_ptr<detectors::Detector>>
MakeDetectors(const std::vector<detectors::Kind>& kinds, const Chain& chain);

} // namespace engine
