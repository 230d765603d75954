#pragma once
// The channel as a chain of stages over whole frames, each with one job:
//   data source   random raw bits from the chunk's stream
//   precoder      the target's parity precoder (channel/encoder.h)
//   channel       precoder bits to noiseless samples: the target's own levels
//                 (the ideal channel), or a head's low-passed readback with
//                 jittered transitions (channel/readback.h)
//   noise         white Gaussian noise of deviation sigma on every sample
//   equalizer     on a head's readback: the FIR filter to the target's levels
//                 (channel/equalizer.h)
//   converter     when asked for, the detectors' input quantized as a read
//                 channel's converter gives it (channel/adc.h): on the ideal
//                 channel the noisy samples, on a head the equalizer's output
//                 (the detector's input word, at the target's levels)
// and the detectors after them (detectors/detector.h).
//
// A frame of `bits` bits is followed, when the settings ask for a tail, by
// nu zero precoder bits: the channel's samples of them end the frame, so
// every data bit is decided with the samples that follow it. After that the
// medium holds zeros: a head still reads the frame's last transitions there,
// and the equalizer reads as far as it needs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/adc.h"
#include "channel/constraint.h"
#include "channel/encoder.h"
#include "channel/equalizer.h"
#include "channel/head.h"
#include "channel/noise.h"
#include "channel/readback.h"
#include "channel/target.h"
#include "detectors/table.h"
#include "engine/timing.h"

namespace engine {

// What a front end chooses about the channel: plain values, each with its
// default here (the one place for it).
struct ChainSettings {
    channel::Target target; // E3PR4 unless chosen
    // 2 ... 6 on a head: design a monic target of gpr + 1 real taps jointly
    // with the equalizer, in place of `target`.
    int gpr = 0;
    bool tail = true; // nu zero precoder bits after every frame
    // The target's parity precoder where it has one; false writes the raw
    // bits as they are (coded runs).
    bool precoder = true;
    // The read head in front of the detectors (a row of channel::Heads());
    // none: the ideal channel, the target's own levels.
    std::optional<channel::HeadKind> head;
    double density = 2; // PW50 / T of the head
    double jitter = 0;  // transition jitter's deviation, bit periods
    int taps = 15;      // the equalizer's
    int predictor = 2;  // npml's whitening predictor's
    // The soft-output Viterbi detector's update depth in bits; 0: five times
    // the target's memory plus one (detectors/sova.h).
    int depth = 0;
    // The noise's generators: the single generator of NoiseSource::AddNoise
    // (the lab's stream of every version), or the eight lanes of
    // AddNoiseLanes, a stream of their own and several times faster, or the
    // sixteen 32-bit lanes of AddNoiseLanes16 (float deviates), faster again.
    enum class Noise { kSerial, kLanes, kLanes16 };
    Noise noise = Noise::kSerial;
    // Bits of the converter before the detectors; 0: none, the detectors see
    // the float samples. channel::Adc::WhyNot(target, adcBits) must be empty
    // (so no gprL, whose taps are real).
    int adcBits = 0;
    // The sampling clock and the timing loop (off: every sample at its
    // integer instant, as always).
    channel::TimingSettings timing;
    // The constraint code written (channel/constraint.h): the raw bits of a
    // frame are then its coded bits, through the NRZI precoder, and Viterbi
    // and npml search the constrained trellis. `density` stays the user
    // density; Coded() is the channel that writes the code.
    channel::ConstraintKind constraint = channel::ConstraintKind::kNone;

    bool Recording() const { return head.has_value(); }
    // The head at its density; Recording() must hold.
    channel::Head MakeHead() const { return channel::Head(*head, density); }
    // How the lab names the target: "e3pr4", "1,2,1", "gpr5".
    std::string TargetName() const;
    // How the lab names the channel: "ideal", or the head's name ("lorentz").
    std::string ChannelName() const;
    // The code's rate R (1 without one).
    double CodeRate() const { return channel::ConstraintCode::Of(constraint).Rate(); }
    // The channel as it writes the code at a fixed user density: on a head
    // the coded bits at the channel density D / R, and the noise's spectral
    // density held, sigma^2 per channel sample = sigma_u^2 / R (sigma_u the
    // uncoded channel's at the user density, which the SNR is quoted
    // against); on the ideal channel the target's own samples and sigma.
    ChainSettings Coded() const;
    double CodedSigma(double sigmaUser) const;
};

// The energy SNR is quoted against: the target's sum of squares on the ideal
// channel, the head's bit energy E_i on a recording channel.
double SignalEnergy(const ChainSettings& settings);

// What the chain needs besides its settings, designed once for a noise
// level and shared by every worker: the target (designed for gprL), the
// head's readback, the equalizer and npml's predictor.
struct ChannelDesign {
    ChainSettings settings;
    double sigma = 0;
    channel::Target target;
    std::shared_ptr<const channel::Readback> readback; // null on the ideal channel
    channel::Equalizer equalizer;                      // on a recording channel
    std::vector<float> predictor;                      // on a recording channel
    double predictionVariance = 0;              // what the predictor leaves of the noise, on a head
    std::shared_ptr<const TimingDesign> timing; // when the timing is modelled

    // The autocorrelation of the noise the detectors see: sigma^2 alone on
    // the ideal channel, the equalizer's designed error's otherwise.
    std::vector<double> DetectorNoise() const;
};
ChannelDesign DesignChannel(const ChainSettings& settings, double sigma);

// One frame on its way through the chain. Bits have the frame's length,
// samples its length plus the tail.
struct Frame {
    std::vector<std::uint8_t> raw;  // the data bits
    std::vector<std::uint8_t> prec; // what the precoder writes
    std::vector<float> clean;       // the target's ideal levels of them
    std::vector<float> received;    // what the detectors see: with noise (and equalized)
    // A recording channel's sampled readback with noise, samples
    // readbackFirst ... readbackFirst + size - 1 (the equalizer's inputs).
    std::vector<float> readback;
    int readbackFirst = 0;
    // With timing modelled: the frame's true and recovered phase (the
    // readback above is then not kept).
    TimingTrack timing;
};

// One worker's chain for frames of `bits` bits: the stages and their scratch.
class Chain {
  public:
    Chain(const ChannelDesign& design, int bits);
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    const ChannelDesign& design() const { return design_; }
    const channel::Target& target() const { return design_.target; }
    detectors::FrameShape Shape() const { return shape_; }
    const channel::FrameEncoder& Encoder() const { return encoder_; }
    // The converter, when the settings ask for one.
    const channel::Adc* Converter() const { return adc_ ? &*adc_ : nullptr; }
    // With timing modelled, what the last Transmit read (its samples x_j
    // from the preamble's first, TimingScratch::first on); null before.
    const TimingScratch* LastRead() const {
        return timingScratch_.empty() ? nullptr : &timingScratch_.front();
    }

    // A frame of the right size for this chain.
    Frame MakeFrame() const;
    // The next frame of a stream: raw bits drawn from `source`, then
    // Transmit. The draws are the frame's bits, then the jitter of its
    // transitions (on a head), then its noise.
    void Next(channel::NoiseSource& source, Frame& frame);
    // frame.raw, filled by the caller, through the precoder, the channel, the
    // noise drawn from `source`, the equalizer and the converter.
    void Transmit(channel::NoiseSource& source, Frame& frame);
    // Next under a constraint code (Next itself without one): the user bits
    // drawn from `source` into `user` (whole words of the frame), the code's
    // words of them as frame.raw, then Transmit.
    void NextCoded(const channel::ConstraintCode& code, channel::NoiseSource& source, Frame& frame,
                   std::vector<std::uint8_t>& user);
    // The user bits `user` (whole words of the frame, given by the caller:
    // the lab window's blocks) as the code's words into frame.raw, then
    // Transmit; without a code the user bits are frame.raw themselves.
    void TransmitCoded(const channel::ConstraintCode& code, const std::vector<std::uint8_t>& user,
                       channel::NoiseSource& source, Frame& frame);
    // Next on `count` frames in turn, the same draws in the same order and the
    // same frames; with timing modelled their loops run side by side.
    void NextFrames(channel::NoiseSource& source, Frame* frames, int count);

  private:
    const ChannelDesign& design_;
    channel::FrameEncoder encoder_;
    detectors::FrameShape shape_;
    int readbackFirst_ = 0, readbackCount_ = 0;
    channel::ReadScratch scratch_;
    std::vector<TimingScratch> timingScratch_; // one a frame of NextFrames
    AddNoiseFn NoiseAdder(channel::NoiseSource& source) const;
    std::optional<channel::Adc> adc_;
};

// Where a design's detectors run, as their table's rules look at it.
detectors::Where WhereOf(const ChannelDesign& design);
// What a detector of a design's frames of `shape` is made with: the designed
// target, npml's predictor, the converter in front (or none), the noise's
// variance at the detector (sigma^2, or the equalized noise's on a head) and
// the predictor's error variance.
detectors::Setup SetupOf(const ChannelDesign& design, detectors::FrameShape shape,
                         const channel::Adc* converter);
// The same for this chain's frames, behind its converter.
detectors::Setup SetupOf(const Chain& chain);
// The detectors a front end asks for, one of each kind, for this chain's
// frames, each made by its row of the detector table (behind a converter the
// Viterbi detector is the integer one).
std::vector<std::unique_ptr<detectors::Detector>>
MakeDetectors(const std::vector<detectors::Kind>& kinds, const Chain& chain);

} // namespace engine
