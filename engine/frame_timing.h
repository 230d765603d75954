#pragma once
// One frame through the sampling clock and the timing loop, as the command
// line's `timing` and Python's timing() show it: the same frame of the same
// seed gives both the same numbers.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/chain.h"

namespace engine {

// The timing error within which the loop counts as locked.
inline constexpr double kLockTolerance = 0.05;

struct FrameTiming {
    std::shared_ptr<const TimingDesign> design;
    TimingTrack track;
    int lock = -1; // LockTime from the loop's first step (-1: not locked at the end)
    // The frame as the receiver read it, sample k of the data and its tail
    // at the recovered instant k + tau - theta (sample DataStart() + k of the
    // track): the detectors' input, and the readback the equalizer read there
    // with its noise (on the ideal channel the same).
    std::vector<float> received, readback;
};

// A frame of `bits` random bits of `seed` (stream 0 of chunk 0) read with the
// chain's timing (modelled whether or not chain.timing.on says so).
FrameTiming TrackFrame(ChainSettings chain, double sigma, int bits, std::uint64_t seed);
// The same for the raw bits `raw` (the lab window's block): its draws (the
// jitter, the phase walk, the noise) from stream 0 of chunk 0 of `seed`.
FrameTiming TrackBits(ChainSettings chain, double sigma, const std::vector<std::uint8_t>& raw,
                      std::uint64_t seed);

} // namespace engine
