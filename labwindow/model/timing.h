#pragma once
// The Timing tab's model: the panel's block read by a receiver whose clock is
// off, as `quorvane-lab timing` reads a frame (engine/frame_timing.h). The
// tab's own options are the timing rows of the channel option table, each
// given or not and read by the command line's parser; given any, the block's
// raw bits are written after a preamble and read through the clock and the
// loop, and the tab shows the phase track. The other views keep every sample
// at its instant.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "channel/clock.h"
#include "choices/channel.h"
#include "engine/frame_timing.h"
#include "labwindow/model/settings.h"

namespace labmodel {

// The rows the tab has a control for: those of `quorvane-lab timing`, in the
// table's order.
std::vector<const choices::ChannelOption*> TimingRows();

// The options given in the tab: keyword and text, in the table's order.
struct TimingOptions {
    std::vector<std::pair<std::string, std::string>> given;
};
// Gives the option (a keyword or a flag) its text, read by its parser; an
// empty text takes it back. An empty answer, or the parser's line (the
// options are then unchanged).
std::string SetTiming(TimingOptions& options, const std::string& name, const std::string& text);
// The text given, or an empty one.
std::string TimingText(const TimingOptions& options, const std::string& name);
// The clock the options give (on when any is given).
channel::TimingSettings TimingOf(const TimingOptions& options);

struct TimingPicture {
    bool modelled = false; // false: no option given, every sample at its instant
    std::uint64_t run = 0;
    int bits = 0;
    double sigma = 0;
    std::string channelText, targetName;
    channel::TimingSettings timing;
    // Sample j from the preamble's first: the true phase tau_j and the
    // recovered theta_j, bit periods.
    std::vector<float> truePhase, recovered;
    int dataStart = 0;    // the block's first sample
    double start = 0;     // the zero-phase start's estimate ...
    double startTrue = 0; // ... and the true phase at its sample
    int startSample = 0;
    int trackFrom = 0; // the loop's first step
    int lock = -1;     // samples from trackFrom until the error stays within kLockTolerance
    int slips = 0;
    double rms = 0; // the timing error over the block's samples (0 when it slipped)
    double linearRms = 0;
};

// The block `raw` (its raw bits: under a constraint code the coded ones)
// read through the clock and the loop of `timing` under the panel's channel
// (under a code the channel that writes it, ChainSettings::Coded) and noise:
// the track the tab shows, and the samples the block view marks.
engine::FrameTiming TrackBlock(const LabSettings& settings, const channel::TimingSettings& timing,
                               const std::vector<std::uint8_t>& raw);

// The track of the block `raw` (the run `run` shown) under the panel's
// channel and noise; not modelled when no option is given.
TimingPicture ComputeTiming(const LabSettings& settings, const TimingOptions& options,
                            const std::vector<std::uint8_t>& raw, std::uint64_t run);
// What the tab says above its chart.
std::string TimingLine(const TimingPicture& picture);

} // namespace labmodel
