#pragma once
// Timing recovery: a frame read by a clock that is off (channel/clock.h), and
// the receiver that finds and follows the right instants.
//
// What is written: a preamble of `preamble` bits of the 2T pattern (write
// current 1100 1100 ..., the precoder bypassed), nu zero bits (so the
// detectors start in state 0 as on every frame; no sync mark: the receiver
// counts samples from the preamble's start, which is what a found sync mark
// gives it, so a slipped cycle moves every later decision by a bit), then
// the frame's precoder bits and its tail as always.
//
// The receiver, sample after sample:
//   zero-phase start  the preamble is a tone at 1/4 of the bit rate: over
//                     its middle half (whole periods) I - iQ = Sum x_j
//                     e^(-i pi j / 2) has the angle pi tau / 2 + phi_0,
//                     phi_0 that of the same samples taken at the right
//                     instants (computed once, noiseless): tau's estimate
//                     starts the loop, in (-2, 2].
//   tentative levels  the slicer on the equalized samples: the nearest of the
//                     target's levels, no delay; or (decisions kViterbi) the
//                     early decisions of a Viterbi detector on the target's
//                     trellis running sample by sample, the level of sample
//                     k - D on the best survivor after sample k: more often
//                     right where the levels are many (E3PR4's 13), at D more
//                     steps of the loop's delay.
//   error detector    Mueller-Mueller on zero-mean values (the levels' mean
//                     sum f / 2 taken off, since it is not 0 when sum f is
//                     not): u_k = (z_k - c)(d_{k-1} - c) - (z_{k-1} - c)(d_k -
//                     c), divided by its slope at zero error (computed from
//                     the channel and the equalizer) to read in bit periods.
//   loop              channel/clock.h's, steering the instants at which the
//                     readback is evaluated; an update from z_k reaches the
//                     samples after x_{k + delay}, the equalizer's newest input
//                     (and D samples later with the Viterbi's decisions).
// The readback at an instant is channel::Sampler::At's: the channel's
// continuous response at the nearest of 2048 phases a bit period; on a head
// with jitter each transition's term expanded in its shift (an error some
// 15 to 28 times below the nearest phase's, channel/sampler.h).
// A frame has slipped when its recovered phase ends nearer a whole number of
// bit periods off than the true one.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/clock.h"
#include "channel/equalizer.h"
#include "channel/noise.h"
#include "channel/readback.h"
#include "channel/sampler.h"
#include "channel/target.h"
#include "detectors/early_viterbi.h"

namespace engine {

struct TimingDesign {
    channel::TimingSettings settings;
    std::shared_ptr<const channel::Sampler> sampler;
    channel::LoopGains gains;
    double slope = 0;          // dE[u]/dtau at zero error
    float centre = 0;          // the levels' mean, sum f / 2
    std::vector<float> levels; // the target's, ascending
    std::vector<float> taps;   // the equalizer's (one tap of 1 on the ideal channel)
    float bias = 0;            // what the equalizer adds after its taps
    int delay = 0;             // output k reads x_{k + delay - i}
    int loopDelay = 0;         // the steps after the next one at which an update tells
    channel::Trellis trellis;  // the target's, for the Viterbi's early decisions
    int guard = 0;             // zero bits after the preamble
    int zpsBegin = 0, zpsEnd = 0;
    double referenceAngle = 0;
    // The detector's noise in bit periods squared, lags 0, 1, ...: the
    // linear model's input.
    std::vector<double> detectorNoise;

    int DataStart() const { return settings.preamble + guard; }
    // The linear model's RMS timing error once the loop has settled.
    double LinearRms() const;
};

// The timing design of a channel: its target, its head's readback (null: the
// ideal channel), its equalizer (ignored on the ideal channel) and the
// autocorrelation of the noise at the detectors.
TimingDesign DesignTiming(const channel::TimingSettings& settings, const channel::Target& target,
                          std::shared_ptr<const channel::Readback> readback,
                          const channel::Equalizer& equalizer,
                          const std::vector<double>& detectorNoise);

// One frame's timing: from the preamble's first sample on.
struct TimingTrack {
    std::vector<float> truePhase; // tau_j
    std::vector<float> recovered; // theta_j
    double start = 0;             // the zero-phase start's estimate
    int trackFrom = 0;            // the first sample the loop moved
    int slips = 0;                // whole bit periods off at the end
    double squares = 0;           // Sum (tau - theta)^2 over the data's samples
    int counted = 0;              // ... their number
};

struct TimingScratch {
    std::vector<std::uint8_t> written;
    channel::SamplerFrame frame;
    std::vector<float> x, noise, zeros, z, d;
    std::vector<double> walk;
    std::optional<detectors::EarlyViterbi> early;
    int first = 0, end = 0, samples = 0; // the samples read, first ... end - 1
    // A batch's samples, equalized samples and decisions frame beside frame
    // (RunLoops' lanes; kept in the batch's first scratch).
    std::vector<float> laneX, laneZ, laneD;
};

// Frames whose loops RunLoops runs side by side; with slicer decisions a
// batch of kLoopLanes frames runs its loops in vector lanes (each lane the
// same operations in the same order as a loop alone).
inline constexpr int kSideBySide = 2;
inline constexpr int kLoopLanes = 8;

// Adds white noise of the chain's deviation to n values (the chain's stream).
using AddNoiseFn = std::function<void(const float* clean, float* out, int n)>;

// The frame's precoder bits prec[0 ... bits - 1] written after the preamble
// and read through the clock and the loop: received[k], k = 0 ... samples -
// 1, the equalized samples of the data and its tail. The draws: the
// transitions' jitter (on a head), the phase walk, then the noise.
void ReceiveFrame(const TimingDesign& design, const std::uint8_t* prec, int bits, int samples,
                  channel::NoiseSource& source, const AddNoiseFn& addNoise, TimingScratch& scratch,
                  float* received, TimingTrack& track);

// ReceiveFrame in two halves, so that several frames' loops can run side by
// side: PrepareFrame makes a frame's draws (its own, in ReceiveFrame's order)
// into its scratch; RunLoops then runs the loops of `count` prepared frames
// and gives each its received samples and its track, the numbers of
// ReceiveFrame on each.
void PrepareFrame(const TimingDesign& design, const std::uint8_t* prec, int bits, int samples,
                  channel::NoiseSource& source, const AddNoiseFn& addNoise, TimingScratch& scratch);
void RunLoops(const TimingDesign& design, int count, TimingScratch* const* scratch,
              float* const* received, TimingTrack* const* tracks);

// Samples from `from` until the timing error stays within `tolerance` to the
// track's end (-1: never within it at the end).
int LockTime(const TimingTrack& track, int from, double tolerance);

} // namespace engine
