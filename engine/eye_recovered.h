#pragma once
// The eye at the recovered instants, beside the eye of `quorvane-lab eye`
// when the timing is modelled: frames read through the receiver's clock and
// its timing loop (engine/timing.h) as ber reads them, a preamble before
// each, and each window centred on a data sample's recovered instant.
//
// Sample j of a frame (j = 0 at the preamble's start) is read at j + e_j,
// e_j = tau_j - theta_j the timing error the loop leaves. The window of data
// sample k at offset tau (tau = -uis/2 ... uis/2 in tenths of a bit period):
//   readback   x(k + e_k + tau) + n(k + tau): the readback at the recovered
//              instant moved by tau;
//   equalized  sum over i of w_i (x(j + e_j + tau) + n(j + tau)) + bias, j = k
//              + delay - i: the equalizer's output had the clock read every
//              sample tau later (on the ideal channel the equalizer is one
//              tap of 1, so the same as the readback).
// x is the channel's continuous response with the frame's jitter
// (channel/sampler.h); n the frame's noise samples n_j sinc-interpolated on
// the receiver's sampling grid over kRecoveredNoiseReach samples either way.
// At tau = 0 the window holds exactly the sample the loop read (readback)
// or the detectors' input (equalized), noise and all.
//
// Frame f draws its bits, its jitter, its phase walk and its noise from its
// own stream (seed, 2^40 + f), and the hits are added in whole numbers, so
// the picture never depends on the thread count.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>

#include "engine/eye_diagram.h"

namespace engine {

inline constexpr int kRecoveredFrameBits = 4096;
inline constexpr int kRecoveredNoiseReach = 32;

struct RecoveredEye {
    EyeImage image;            // image.blocks: the frames drawn; image.traces: their windows
    std::uint64_t slipped = 0; // frames whose loop slipped a cycle
    double squares = 0;        // Sum (tau - theta)^2 over the data of the others
    std::uint64_t counted = 0; // ... their samples
    double Rms() const { return counted > 0 ? std::sqrt(squares / counted) : 0.0; }
};

// The frames to draw: as many windows as the blocks of the eye beside it
// (settings.blocks of a block's windows), at least one frame.
std::uint64_t RecoveredFrames(const EyeSettings& settings, const EyeGeometry& geometry);

// Draws `frames` frames of the settings' chain (its timing modelled, whether
// or not chain.timing.on says so) at settings.point into `eye`, or those
// finished before `stop` became true (then false). `report` hears of the
// frames done a few times a second, on the calling thread.
bool DrawRecoveredEye(const EyeSettings& settings, const EyeGeometry& geometry,
                      std::uint64_t frames, const std::atomic<bool>& stop, RecoveredEye& eye,
                      const std::function<void(std::uint64_t)>& report = {});

} // namespace engine
