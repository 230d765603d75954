#pragma once
// The eye diagram behind `quorvane-lab eye`: a target's sinc-interpolated
// readback waveform (on E3PR4 the window's own), or a head's low-passed
// readback with its jittered transitions, over many random 40-bit blocks,
// with band-limited noise, cut into windows of a few bit periods
// centred on sampling instants and laid over each other as a density of hits
// per pixel. At --point equalized a head's eye is the equalizer's output
// instead: the designed FIR applied to the readback at k + tau for every
// offset tau of a window, at the target's levels.
//
// Block b of the run belongs to chunk b / kEyeChunkBlocks, and each chunk
// draws its bits and its noise from its own stream (seed, chunk), so the hits
// never depend on the thread count. Traces are drawn with the raster
// library's saturating primitives into an 8-bit raster that is emptied into
// 32-bit totals before any pixel can reach 255: the totals are exact.
#include "channel/encoder.h"
#include "channel/noise.h"
#include "channel/readback.h"
#include "channel/target.h"
#include "channel/waveform.h"
#include "engine/chain.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {

inline constexpr int kEyeChunkBlocks = 256;
inline constexpr int kMaxEyeUis = 16;
// Levels shown above the highest and below the lowest, for the overshoot
// between samples (a head's readback: a tenth of its range).
inline constexpr double kEyeHeadroomLevels = 1.0;

// The stretch of a block the eye looks at: samples first ... 39. On the ideal
// channel first is nu, and each sample a sum over nu + 1 of the block's own
// precoded bits (the first nu still see the all-zero history, after bit 39
// come only zeros); a head's bit response is longer, and the eye starts past
// the bulk of it.
inline constexpr int kEyeLastSample = channel::kBits - 1;
// Bits on either side of a transition its jitter moves the eye's waveform.
inline constexpr int kEyeJitterSpan = 16;

// The values an eye's noise-free waveform takes at most (the levels, on the
// ideal channel), and the first sample it looks at.
struct EyeRange {
    double low = -6;
    double high = 6;
    int firstSample = 5;
    double headroom = kEyeHeadroomLevels; // shown above high and below low
};
EyeRange RangeOf(const ChainSettings& chain);

// Where the eye looks: the readback (on a head before the equalizer), or the
// equalizer's output. On the ideal channel there is no equalizer and both
// are the target's sinc-interpolated waveform, drawn the same.
enum class EyePoint { kReadback, kEqualized };
// Whether the eye of `chain` at `point` is the equalizer's output (a head at
// kEqualized): then it is at the target's levels.
bool EqualizedEye(const ChainSettings& chain, EyePoint point);
// Whether the eye is at the target's levels, so its openings can be measured
// between them: the ideal channel's, or an equalized one.
bool EyeAtLevels(const ChainSettings& chain, EyePoint point);
// The range at `point`: an equalized eye takes the target's levels, with a
// level's headroom, and starts where the head's readback eye does.
EyeRange RangeOf(const ChainSettings& chain, EyePoint point);

struct EyeSettings {
    ChainSettings chain;
    std::uint64_t blocks = 100'000;
    double sigma = 0.1;
    int uis = 2; // bit periods across the picture
    std::uint64_t seed = 1;
    int threads = 1;
    EyePoint point = EyePoint::kReadback;
};

// What every source of a run shares, made once: a head's readback as the eye
// draws it (its bit response, and its jitter tables when it has jitter; null
// on the ideal channel), and for an equalized eye the equalizer designed for
// the run's noise (as ber designs it at a point): its taps, its delay (output
// k reads the readback at k + delay - i) and what it adds after its taps.
struct EyeChannel {
    std::shared_ptr<const channel::Readback> readback;
    bool equalized = false;
    std::vector<float> taps;
    int delay = 0;
    float bias = 0;
};
std::shared_ptr<const EyeChannel> MakeEyeChannel(const EyeSettings& settings);

// Where things are in the picture: width x height pixels, rows counted from
// the bottom. Waveform point o of a window (o = 0 ... 10 * uis) is column
// left + o * pointStep; level L is row zeroRow + L * levelStep. The levels
// low ... high (the target's) and the headroom around them fill the height.
struct EyeGeometry {
    int width = 0;
    int height = 0;
    int uis = 2;
    int firstSample = 5; // windows start at this sample
    double low = -6;
    double high = 6;
    int pointStep = 0;
    int levelStep = 0;
    int left = 0;
    int zeroRow = 0;

    int PointColumn(int o) const { return left + o * pointStep; }
    int LevelRow(int level) const { return zeroRow + level * levelStep; }
    // Row of a waveform value, rounded half away from zero so that -v lands
    // on the mirror image of v; may lie outside 0 ... height - 1.
    int ValueRow(float v) const;
    // The waveform points of a window at sampling instants, o = 0 ... 10 * uis.
    bool IsSamplePoint(int o) const;
};

// The largest eye of `range` that fits width x height; an empty string, or
// one line saying why it does not fit.
std::string FitEye(int width, int height, int uis, const EyeRange& range, EyeGeometry& geometry);

// The picture around the eye: level labels on the left, the colour scale on
// the right, the title above and the time axis below, in pixels.
struct EyeMargins {
    static constexpr int left = 48;
    static constexpr int right = 84;
    static constexpr int top = 38;
    static constexpr int bottom = 46;
};
// The eye inside a picture of width x height, as FitEye; the message names
// the picture's size.
std::string FitEyePicture(int width, int height, int uis, const EyeRange& range,
                          EyeGeometry& geometry);

// Sampling instants the windows of one block are centred on: first, first +
// uis, ... up to last.
struct EyeWindows {
    int first = 0;
    int last = 0;
    int count = 0;
};
EyeWindows WindowsOf(int uis, int firstSample);

// Hits per pixel, bottom row first, width * height.
struct EyeImage {
    EyeGeometry geometry;
    std::uint64_t blocks = 0; // blocks drawn (the recovered eye: frames)
    // Windows drawn, when they are not `blocks` times the windows of a block
    // (the recovered eye's); 0 otherwise.
    std::uint64_t traces = 0;
    std::vector<std::uint32_t> hits;
    std::uint32_t At(int x, int y) const {
        return hits[static_cast<std::size_t>(y) * geometry.width + x];
    }
    // The windows drawn.
    std::uint64_t Traces() const;
};

// One worker's 8-bit raster: draws the windows of waveforms into it with
// LineAddSat and ColumnSpanAddSat, and empties it into 32-bit totals.
class EyePainter {
  public:
    explicit EyePainter(const EyeGeometry& geometry);

    // Draws every window of one block's waveform (clean plus noise): the
    // window centred on sample k holds the columns within 5 * uis of the
    // sample's column, channel::kFirstSampleColumn + 10 * k.
    void DrawBlock(const channel::Wave& wave);
    // Draws one window of 10 * uis + 1 points (at most one hit a pixel).
    void DrawTrace(const float* points) { DrawWindow(points); }
    // Adds what has been drawn since the last call to `hits` (width * height,
    // bottom row first) and clears the raster.
    void Drain(std::vector<std::uint32_t>& hits);
    // Blocks that fit between two drains without any pixel reaching 255.
    int BlocksPerDrain() const { return blocksPerDrain_; }

  private:
    void DrawWindow(const float* points);

    EyeGeometry g_;
    EyeWindows windows_;
    int blocksPerDrain_;
    int pitch_;
    // Two hidden rows, below and above the picture, catch traces that leave it.
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t*> rows_;
    std::vector<int> traceRows_;
};

// Makes the waveforms of a chunk's blocks: 40 random raw bits, the target's
// precoder and pulse table (on E3PR4 the window's), then one Gaussian sample
// of deviation sigma per bit period added through sin(x)/x interpolation,
//     wave(t) += sum over k of n_k * sinc(pi * (t - k)),
// k over every bit period of the 600 columns (60 of them), so the noise is
// band-limited like the signal and at each sampling instant it is just n_k.
// Only the columns the eye looks at get the noise.
//
// An equalized eye makes the head's readback (its jitter and noise as above,
// the noise's samples over every bit period of the readback it needs and 16
// more either side, each interpolated over 60 bit periods either way) over the stretch the
// equalizer reads, from 10 (taps - 1 - delay) columns before the eye's first
// column to 10 delay after its last, and the waveform is the FIR of it:
//     z(t) = sum over i of w_i x(t + delay - i) + bias,
// at every column the eye looks at: at the sampling instants exactly what
// the chain's equalizer gives the detectors from the same readback.
class EyeSource {
  public:
    // `channel`: what the sources of one run share (MakeEyeChannel); made here
    // for the readback when none is given.
    EyeSource(const ChainSettings& chain, double sigma, int uis,
              std::shared_ptr<const EyeChannel> channel = {});
    // Begins chunk `chunk`'s stream.
    void Start(std::uint64_t seed, std::uint64_t chunk);
    // The next block's waveform; valid until the next call.
    const channel::Wave& NextBlock();

  private:
    void AddJitter(const std::uint8_t* prec);
    void AddJitter(const std::uint8_t* prec, float* wave, int first, int last);
    void Equalize(const std::uint8_t* prec);

    channel::FrameEncoder encoder_;
    std::shared_ptr<const EyeChannel> channel_;
    std::shared_ptr<const channel::Readback> jitter_; // a head with jitter
    double sigma_;
    int firstColumn_;
    int lastColumn_;
    std::optional<channel::NoiseSource> source_;
    std::vector<float> sinc_; // sinc(pi * d / 10), d = -600 ... 600
    channel::PulseTable pulse_;
    alignas(64) channel::Wave wave_;
    alignas(64) channel::Wave noise_;
    // An equalized eye's readback, columns readFirst_ ... readFirst_ + size - 1
    // (of the wave's numbering: they may lie outside 0 ... 599).
    int readFirst_ = 0;
    std::vector<float> read_, readNoise_;
};

// Runs the whole eye, or until `stop` becomes true (then returns false with
// the finished chunks in `image`). `report` is called on the calling thread a
// few times a second with the blocks drawn so far.
bool DrawEye(const EyeSettings& settings, const EyeGeometry& geometry,
             const std::atomic<bool>& stop, EyeImage& image,
             const std::function<void(std::uint64_t)>& report = {});

// The chunks of the whole run.
std::uint64_t EyeChunks(const EyeSettings& settings);
// Adds chunks from ... to - 1 of the run to `image` (empty, or holding other
// chunks of the same run and geometry), or those finished before `stop`
// became true (then returns false). The hits are whole numbers, so the
// chunks of a run drawn in any batches add up to DrawEye's picture exactly:
// a window shows the eye as it grows.
// `channel` (MakeEyeChannel of the settings) spares a head's tables and its
// equalizer being made again for every batch.
bool DrawEyeChunks(const EyeSettings& settings, const EyeGeometry& geometry, std::uint64_t from,
                   std::uint64_t to, const std::atomic<bool>& stop, EyeImage& image,
                   const std::function<void(std::uint64_t)>& report = {},
                   std::shared_ptr<const EyeChannel> channel = {});

} // namespace engine
