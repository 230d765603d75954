#pragma once
// The block view's model: one block of the window's sequence through the
// chain, as the view draws it. On the ideal channel the waveform is the
// target's sinc-interpolated readback at 10 points per bit period (the
// window's own on E3PR4), clean and with the noise the detectors saw: the
// noise samples interpolated the same way, so at each sampling instant the
// noisy waveform passes through the received sample. On a head it is the
// head's low-passed readback (its bit response between the samples,
// channel::Readback::Pulse) without jitter, and the readback the equalizer
// read, with the jitter and the noise: the difference at each sample
// interpolated the same way, so it passes through every readback sample.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/events.h"
#include "detectors/table.h"
#include "engine/eye_diagram.h"
#include "engine/window_blocks.h"
#include "labwindow/model/settings.h"
#include "labwindow/model/timing.h"
#include "labwindow/model/trellis.h"

namespace labmodel {

// The waveform starts this many bit periods before bit 0 and ends as many
// after the tail's last sample.
inline constexpr int kWaveMarginBits = 2;

struct BlockView {
    std::uint64_t run = 0; // 1 for the window's first press
    int renoised = 0;      // "New noise" presses on this run
    int bits = 0;
    int tail = 0;
    double snrDb = 0;
    double sigma = 0;
    std::string targetName;
    std::string channelText; // "ideal channel", "lorentz head, density 2.5, ..."
    bool head = false;
    std::vector<float> levels; // the target's, ascending
    // The plot's values from bottom to top, and its horizontal lines: the
    // levels with one to spare each way on the ideal channel; on a head the
    // range its noise-free readback takes (engine::RangeOf) with the eye's
    // headroom, and the lines at its ends (and at 0 when it is well inside).
    double plotLow = 0, plotHigh = 0;
    std::vector<float> gridLines;
    std::vector<std::uint8_t> raw;
    std::vector<float> clean;    // bits + tail samples
    std::vector<float> received; // the same with noise (on a head, equalized)
    // The rings on the waveform, one a sample: the received samples on the
    // ideal channel, the readback's (the equalizer's input at time k) on a
    // head.
    std::vector<float> rings;
    std::vector<detectors::Kind> kinds;
    std::vector<std::vector<std::uint8_t>> decided; // per kind, bits
    std::vector<int> errors;                        // per kind
    std::vector<std::vector<float>> llr;            // per kind, a soft one's ratios (else empty)
    // Waveform point j is at time (firstTenth + j) / 10 bit periods from bit
    // 0's sampling instant; sample k is point 10 (k + kWaveMarginBits).
    int firstTenth = 0;
    std::vector<float> cleanWave;
    std::vector<float> noisyWave;
    TrellisView trellis; // of the Viterbi detector on this block
    // Under a constraint code: its name (empty without one); raw is then the
    // coded bits, `user` the block's user bits coded (whole words of its
    // `drawn` draws), and userErrors each detector's user-bit errors after
    // the code's decoder (errors: its coded bits').
    std::string code;
    int drawn = 0;
    std::vector<std::uint8_t> user;
    std::vector<int> userErrors;
    // With the Timing tab's clock (timed): the rings drawn are the samples its
    // receiver read (`read`, as `rings` the received samples, or the readback
    // on a head), sample k at instants[k] = k + tau_k - theta_k, the recovered
    // instant; the traces and the detectors stay at the ideal instants.
    bool timed = false;
    std::vector<float> instants, read;
    double timingRms = 0; // over the block's samples (0 when it slipped)
    int slips = 0;

    float RingValue(int k) const { return (timed ? read : rings)[static_cast<std::size_t>(k)]; }
    double RingTime(int k) const {
        return timed ? static_cast<double>(instants[static_cast<std::size_t>(k)]) : k;
    }

    int SamplePoint(int k) const { return 10 * k - firstTenth; }
    bool Wrong(std::size_t detector, int k) const {
        return decided[detector][static_cast<std::size_t>(k)] != raw[static_cast<std::size_t>(k)];
    }
};

// What hovering sample k shows: "k 17: received 2.31, ideal 3; slicer 1,
// Viterbi 0 (raw 0)"; on a head "k 17: readback 0.812, equalized 2.31, ideal
// 3; ...", a soft detector's ratio after its bit ("BCJR 0 (L 4.21)"). Tail
// samples have no bits.
std::string HoverText(const BlockView& view, int k);

// The window's blocks for one choice of settings, kept from press to press.
class BlockSource {
  public:
    explicit BlockSource(const LabSettings& settings);
    const LabSettings& settings() const { return settings_; }

    // The next block of the sequence (run 1 first).
    BlockView Next();
    // The current block's bits with fresh noise.
    BlockView Renoise();
    // The current block at another SNR, with the same noise draws scaled.
    BlockView AtSnr(double snrDb);
    // The current block drawn again as it is (after SetTiming).
    BlockView Again();
    // The Timing tab's options: given any, the views read the block through
    // its clock (BlockView::timed).
    void SetTiming(const TimingOptions& options) { timing_ = options; }
    // The same run under other settings: the blocks are made anew and the
    // first `run` of them passed; its "New noise" presses are not replayed.
    static BlockSource Replay(const LabSettings& settings, std::uint64_t run);

  private:
    BlockView View(const engine::BlockResult& result);

    LabSettings settings_;
    std::unique_ptr<engine::WindowBlocks> blocks_;
    std::vector<channel::ErrorEvent> table_; // the events view's rows
    channel::PulseTable pulse_;              // the target's, or the head's bit response
    engine::EyeRange range_;                 // a head's readback's
    channel::PulseTable sinc_;               // the single coefficient 1
    int renoised_ = 0;
    TimingOptions timing_;
    const engine::BlockResult* last_ = nullptr;
};

} // namespace labmodel
