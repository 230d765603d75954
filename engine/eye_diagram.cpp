#include "engine/eye_diagram.h"

#include "engine/workers.h"
#include "raster/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace engine {

namespace {

constexpr int kPoints = channel::kPointsPerBit;
// Noise samples at every bit period of the 600 columns: k = -10 ... 49.
constexpr int kFirstNoiseSample = -channel::kFirstSampleColumn / kPoints;
constexpr int kNoiseSamples = channel::kColumns / kPoints;
constexpr int kSincOrigin = channel::kColumns;
// An equalized eye's noise samples beyond the readback it reads, each side.
constexpr int kEyeNoiseMargin = 16;

constexpr int SampleColumn(int k) {
    return channel::kFirstSampleColumn + kPoints * k;
}

// The two loops that touch every column or pixel, compiled for the widest
// vectors the processor has. Each element sees the same operations in the
// same order on every path, so the results are the same bit for bit.
#define QUORVANE_EYE_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))

// to[j] += n * s[j], j = 0 ... count - 1.
QUORVANE_EYE_CLONES void AddScaled(float* to, const float* s, float n, int count) {
    for (int j = 0; j < count; ++j) to[j] += n * s[j];
}

QUORVANE_EYE_CLONES void AddCounts(std::uint32_t* to, const std::uint8_t* from, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) to[i] += from[i];
}

} // namespace

int EyeGeometry::ValueRow(float v) const {
    // Far outside the picture every row is as good as another; this keeps the
    // conversion to int defined.
    const double t = std::clamp(static_cast<double>(v) * levelStep, -1e6, 1e6);
    return zeroRow + static_cast<int>(t >= 0 ? t + 0.5 : t - 0.5);
}

bool EyeGeometry::IsSamplePoint(int o) const {
    // Point 5 * uis is the centre, a sampling instant.
    return (o - 5 * uis) % kPoints == 0;
}

std::uint64_t EyeImage::Traces() const {
    return traces > 0 ? traces
                      : blocks * static_cast<std::uint64_t>(
                                     WindowsOf(geometry.uis, geometry.firstSample).count);
}

bool EqualizedEye(const ChainSettings& chain, EyePoint point) {
    return chain.Recording() && point == EyePoint::kEqualized;
}

bool EyeAtLevels(const ChainSettings& chain, EyePoint point) {
    return !chain.Recording() || point == EyePoint::kEqualized;
}

std::shared_ptr<const EyeChannel> MakeEyeChannel(const EyeSettings& settings) {
    auto made = std::make_shared<EyeChannel>();
    const ChainSettings& chain = settings.chain;
    if (!chain.Recording()) return made;
    if (!EqualizedEye(chain, settings.point)) {
        // The jitter's tables only where there is jitter to draw.
        made->readback = std::make_shared<const channel::Readback>(chain.MakeHead(), chain.jitter,
                                                                   chain.jitter > 0);
        return made;
    }
    // The equalizer as ber designs it at this noise, every sample at its
    // instant.
    ChainSettings plain = chain;
    plain.timing.on = false;
    plain.constraint = channel::ConstraintKind::kNone;
    const ChannelDesign design = DesignChannel(plain, settings.sigma);
    const channel::Equalizer& e = design.equalizer;
    made->readback = design.readback;
    made->equalized = true;
    double sum = 0, level = 0;
    for (double w : e.taps) {
        made->taps.push_back(static_cast<float>(w));
        sum += w;
    }
    for (double f : e.target.Coefficients()) level += 0.5 * f;
    made->bias = static_cast<float>(level - e.offset * sum);
    made->delay = e.delay;
    return made;
}

EyeRange RangeOf(const ChainSettings& chain) {
    if (!chain.Recording()) {
        const std::vector<float>& levels = chain.target.Levels();
        return {levels.front(), levels.back(), chain.target.Memory()};
    }
    // The noise-free readback's extremes: at each tenth of a bit, every bit
    // response of one sign added up.
    // The bit response alone: no jitter tables, no equalizer.
    channel::PulseTable pulse;
    channel::Readback(chain.MakeHead(), 0, false).Pulse(pulse);
    EyeRange range{0, 0, 4 + static_cast<int>(std::ceil(chain.density))};
    for (int d = 0; d < kPoints; ++d) {
        double up = 0, down = 0;
        for (int i = d; i < channel::kPulseLen; i += kPoints) {
            up += std::max(0.0f, pulse[i]);
            down += std::min(0.0f, pulse[i]);
        }
        range.high = std::max(range.high, up);
        range.low = std::min(range.low, down);
    }
    range.headroom = 0.1 * (range.high - range.low);
    return range;
}

EyeRange RangeOf(const ChainSettings& chain, EyePoint point) {
    if (!EqualizedEye(chain, point)) return RangeOf(chain);
    // The target's levels, the windows where a head's readback eye has them.
    const std::vector<float>& levels = chain.target.Levels();
    return {levels.front(), levels.back(), 4 + static_cast<int>(std::ceil(chain.density))};
}

std::string FitEye(int width, int height, int uis, const EyeRange& range, EyeGeometry& g) {
    if (uis < 1 || uis > kMaxEyeUis)
        return "--uis " + std::to_string(uis) + " is not between 1 and " +
               std::to_string(kMaxEyeUis);
    // Two columns per waveform point at least: a steep step needs a column
    // of its own between two points, so that the points' columns hold nothing
    // but the points.
    const int points = kPoints * uis;
    const int pointStep = (width - 1) / points;
    if (pointStep < 2)
        return "the eye of " + std::to_string(uis) + " bit periods needs at least " +
               std::to_string(2 * points + 1) + " pixels across, not " + std::to_string(width);
    const double low = range.low, high = range.high;
    const double levels = high - low + 2 * range.headroom;
    const int levelStep = static_cast<int>((height - 1) / levels);
    if (levelStep < 2)
        return "the eye needs at least " + std::to_string(static_cast<int>(2 * levels) + 1) +
               " pixels from top to bottom, not " + std::to_string(height);
    g.width = width;
    g.height = height;
    g.uis = uis;
    g.pointStep = pointStep;
    g.levelStep = levelStep;
    g.firstSample = range.firstSample;
    g.low = low;
    g.high = high;
    g.left = (width - 1 - points * pointStep) / 2;
    // The middle of the levels in the middle row: on a target of levels
    // -L ... L that is level 0.
    const double middle = 0.5 * (low + high) * levelStep;
    g.zeroRow = (height - 1) / 2 - static_cast<int>(middle >= 0 ? middle + 0.5 : middle - 0.5);
    return {};
}

std::string FitEyePicture(int width, int height, int uis, const EyeRange& range,
                          EyeGeometry& geometry) {
    using M = EyeMargins;
    if (FitEye(width - M::left - M::right, height - M::top - M::bottom, uis, range, geometry)
            .empty())
        return {};
    const double levels = range.high - range.low;
    return "--size " + std::to_string(width) + "x" + std::to_string(height) +
           " is too small for an eye of " + std::to_string(uis) + " bit periods (at least " +
           std::to_string(M::left + M::right + 2 * kPoints * uis + 1) + "x" +
           std::to_string(M::top + M::bottom + static_cast<int>(2 * (levels + 2 * range.headroom)) +
                          1) +
           ")";
}

EyeWindows WindowsOf(int uis, int firstSample) {
    // Window k spans samples k - uis/2 ... k + uis/2 and has to stay inside
    // firstSample ... kEyeLastSample; in tenths of a bit period.
    EyeWindows w;
    const int half = 5 * uis;
    w.first = (kPoints * firstSample + half + kPoints - 1) / kPoints;
    const int last = (kPoints * kEyeLastSample - half) / kPoints;
    w.count = last < w.first ? 0 : (last - w.first) / uis + 1;
    w.last = w.first + (w.count - 1) * uis;
    return w;
}

EyePainter::EyePainter(const EyeGeometry& geometry)
    : g_(geometry), windows_(WindowsOf(geometry.uis, geometry.firstSample)), pitch_(geometry.width),
      pixels_(static_cast<std::size_t>(geometry.width) * (geometry.height + 2)),
      rows_(geometry.height + 2), traceRows_(kPoints * geometry.uis + 1) {
    // Each window adds at most one hit to a pixel.
    blocksPerDrain_ = std::max(1, 255 / std::max(1, windows_.count));
    for (int y = 0; y < g_.height + 2; ++y) rows_[y] = pixels_.data() + y * pitch_;
}

void EyePainter::DrawBlock(const channel::Wave& wave) {
    const int half = 5 * g_.uis;
    for (int k = windows_.first; k <= windows_.last; k += g_.uis)
        DrawWindow(wave + SampleColumn(k) - half);
}

void EyePainter::DrawWindow(const float* points) {
    const int n = kPoints * g_.uis;
    // Raster rows: the picture's rows are 1 ... height, rows 0 and height + 1
    // the hidden ones.
    for (int o = 0; o <= n; ++o)
        traceRows_[o] = std::clamp(g_.ValueRow(points[o]), -1, g_.height) + 1;

    // Each step from point o to point o + 1 covers the columns from point o's
    // up to the one before point o + 1's, so every column belongs to one
    // step and no pixel is hit twice by one window. A point's own column
    // holds only the point: a step steeper than one row per column goes
    // from the point to the next column and runs its rows down the columns
    // in between.
    const raster::RowTable rt = rows_.data();
    const int step = g_.pointStep;
    int x = g_.left;
    for (int o = 0; o < n; ++o, x += step) {
        const int ya = traceRows_[o];
        const int yb = traceRows_[o + 1];
        const int dy = yb - ya;
        if (std::abs(dy) <= step) {
            raster::LineAddSat(rt, x, ya, x + step, yb, 1);
        } else {
            raster::ColumnSpanAddSat(rt, x, ya, ya, 1);
            raster::LineAddSat(rt, x + 1, ya + (dy > 0 ? 1 : -1), x + step - 1, yb, 1);
        }
    }
    raster::ColumnSpanAddSat(rt, x, traceRows_[n], traceRows_[n], 1);
}

void EyePainter::Drain(std::vector<std::uint32_t>& hits) {
    const std::size_t shown = static_cast<std::size_t>(g_.width) * g_.height;
    AddCounts(hits.data(), pixels_.data() + pitch_, shown);
    std::memset(pixels_.data(), 0, pixels_.size());
}

EyeSource::EyeSource(const ChainSettings& chain, double sigma, int uis,
                     std::shared_ptr<const EyeChannel> shared)
    : encoder_(chain.target), sigma_(sigma), sinc_(2 * kSincOrigin + 1) {
    if (!shared) {
        EyeSettings readback;
        readback.chain = chain;
        readback.sigma = sigma;
        shared = MakeEyeChannel(readback);
    }
    channel_ = std::move(shared);
    const EyeChannel& c = *channel_;
    const EyeWindows w = WindowsOf(
        uis, RangeOf(chain, c.equalized ? EyePoint::kEqualized : EyePoint::kReadback).firstSample);
    firstColumn_ = SampleColumn(w.first) - 5 * uis;
    lastColumn_ = SampleColumn(w.last) + 5 * uis;
    if (chain.Recording()) {
        // The head's bit response at ten points a bit; its jitter table.
        c.readback->Pulse(pulse_);
        if (chain.jitter > 0) jitter_ = c.readback;
    } else {
        const std::vector<double>& f = chain.target.Coefficients();
        channel::BuildPulseTable(f.data(), static_cast<int>(f.size()), pulse_);
    }
    if (c.equalized) {
        // The readback from the first column the equalizer reads for the
        // eye's first to the last it reads for its last.
        const int taps = static_cast<int>(c.taps.size());
        readFirst_ = firstColumn_ - kPoints * (taps - 1 - c.delay);
        const int readLast = lastColumn_ + kPoints * c.delay;
        read_.assign(static_cast<std::size_t>(readLast - readFirst_ + 1), 0.0f);
        readNoise_.assign(read_.size(), 0.0f);
    }
    for (int d = -kSincOrigin; d <= kSincOrigin; ++d) {
        float& s = sinc_[d + kSincOrigin];
        if (d == 0) {
            s = 1;
        } else if (d % kPoints == 0) {
            s = 0; // the other samples' instants: exactly zero
        } else {
            const double x = channel::kPi * d / kPoints;
            s = static_cast<float>(std::sin(x) / x);
        }
    }
    std::fill(std::begin(wave_), std::end(wave_), 0.0f);
    std::fill(std::begin(noise_), std::end(noise_), 0.0f);
}

void EyeSource::Start(std::uint64_t seed, std::uint64_t chunk) {
    source_.emplace(seed, chunk);
}

const channel::Wave& EyeSource::NextBlock() {
    std::uint8_t bits[channel::kBits], precoded[channel::kBits];
    source_->RandomBits(bits, channel::kBits);
    encoder_.Precode(bits, channel::kBits, precoded);
    if (channel_->equalized) {
        Equalize(precoded);
        return wave_;
    }
    channel::Sequence prec;
    for (int k = 0; k < channel::kBits; ++k) prec[k] = precoded[k];
    channel::SynthesizeWave(prec, pulse_, wave_);
    if (jitter_) AddJitter(precoded);
    if (sigma_ == 0) return wave_;

    // Each column's noise in single precision, summed in ascending k.
    const int from = firstColumn_;
    const int count = lastColumn_ - firstColumn_ + 1;
    float* noise = noise_ + from;
    std::fill(noise, noise + count, 0.0f);
    for (int i = 0; i < kNoiseSamples; ++i) {
        const float n = static_cast<float>(sigma_ * source_->Normal());
        const float* s = sinc_.data() + kSincOrigin + from - SampleColumn(kFirstNoiseSample + i);
        AddScaled(noise, s, n, count);
    }
    for (int j = 0; j < count; ++j) wave_[from + j] += noise[j];
    return wave_;
}

void EyeSource::AddJitter(const std::uint8_t* prec) {
    AddJitter(prec, wave_, 0, channel::kColumns - 1);
}

void EyeSource::AddJitter(const std::uint8_t* prec, float* wave, int first, int last) {
    // Transition k (b = p_k - p_{k-1}, the one after bit 39 too) moves to
    // k + Delta: the waveform gains b (g_LP(t - k - Delta) - g_LP(t - k)) over
    // the columns within kEyeJitterSpan bits of it (and first ... last; wave
    // points at column first). Deviates drawn after the bits, one per
    // transition, as the chain draws them.
    float* at = wave - first;
    int previous = 0;
    for (int k = 0; k <= channel::kBits; ++k) {
        const int p = k < channel::kBits ? prec[k] : 0;
        const int b = p - previous;
        previous = p;
        if (b == 0) continue;
        const double delta = std::clamp(jitter_->jitter() * source_->Normal(),
                                        -channel::kMaxJitterShift, channel::kMaxJitterShift);
        const int origin = SampleColumn(k);
        const int from = std::max(first, origin - kPoints * kEyeJitterSpan);
        const int to = std::min(last, origin + kPoints * kEyeJitterSpan);
        for (int j = from; j <= to; ++j) {
            const double t = static_cast<double>(j - origin) / kPoints;
            at[j] += static_cast<float>(b) *
                     (jitter_->TransitionAt(t - delta) - jitter_->TransitionAt(t));
        }
    }
}

void EyeSource::Equalize(const std::uint8_t* prec) {
    const EyeChannel& c = *channel_;
    const int count = static_cast<int>(read_.size());
    const int readLast = readFirst_ + count - 1;
    float* read = read_.data() - readFirst_; // read[j], j = readFirst_ ... readLast
    float weights[channel::kBits];
    for (int k = 0; k < channel::kBits; ++k) weights[k] = prec[k];
    channel::SynthesizeWave(weights, channel::kBits, pulse_, readFirst_ - SampleColumn(0), count,
                            read_.data());
    // As the readback's jitter, over the readback the equalizer reads.
    if (jitter_) AddJitter(prec, read_.data(), readFirst_, readLast);
    if (sigma_ > 0) {
        // A noise sample at every bit period of the readback and
        // kEyeNoiseMargin more on either side, each through sin(x)/x over the
        // sinc table's 60 bit periods either way.
        auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
        std::fill(readNoise_.begin(), readNoise_.end(), 0.0f);
        float* noise = readNoise_.data() - readFirst_;
        const int firstK = -floorDiv(-(readFirst_ - SampleColumn(0)), kPoints) - kEyeNoiseMargin;
        const int lastK = floorDiv(readLast - SampleColumn(0), kPoints) + kEyeNoiseMargin;
        for (int k = firstK; k <= lastK; ++k) {
            const float n = static_cast<float>(sigma_ * source_->Normal());
            const int origin = SampleColumn(k);
            const int from = std::max(readFirst_, origin - kSincOrigin);
            const int to = std::min(readLast, origin + kSincOrigin);
            AddScaled(noise + from, sinc_.data() + kSincOrigin + from - origin, n, to - from + 1);
        }
        for (int j = 0; j < count; ++j)
            read_[static_cast<std::size_t>(j)] += readNoise_[static_cast<std::size_t>(j)];
    }
    // The equalizer at every column the eye looks at: its taps in order, then
    // the constant, as the chain's.
    const int taps = static_cast<int>(c.taps.size());
    const float* w = c.taps.data();
    for (int col = firstColumn_; col <= lastColumn_; ++col) {
        const float* x = read + col + kPoints * c.delay;
        float acc = 0.0f;
        for (int i = 0; i < taps; ++i) acc += w[i] * x[-kPoints * i];
        wave_[col] = acc + c.bias;
    }
}

std::uint64_t EyeChunks(const EyeSettings& settings) {
    return (settings.blocks + kEyeChunkBlocks - 1) / kEyeChunkBlocks;
}

bool DrawEye(const EyeSettings& settings, const EyeGeometry& geometry,
             const std::atomic<bool>& stop, EyeImage& image,
             const std::function<void(std::uint64_t)>& report) {
    image = EyeImage{};
    DrawEyeChunks(settings, geometry, 0, EyeChunks(settings), stop, image, report);
    return image.blocks == settings.blocks;
}

bool DrawEyeChunks(const EyeSettings& settings, const EyeGeometry& geometry, std::uint64_t from,
                   std::uint64_t to, const std::atomic<bool>& stop, EyeImage& image,
                   const std::function<void(std::uint64_t)>& report,
                   std::shared_ptr<const EyeChannel> channel) {
    to = std::min(to, EyeChunks(settings));
    const std::size_t size = static_cast<std::size_t>(geometry.width) * geometry.height;
    image.geometry = geometry;
    if (image.hits.size() != size) image.hits.assign(size, 0);
    if (from >= to) return !stop.load();
    std::atomic<std::uint64_t> next{from};
    std::atomic<std::uint64_t> drawn{0};
    std::mutex mutex;
    std::vector<std::uint32_t>& sum = image.hits;
    // Every worker keeps a raster and totals of its own: no more of them
    // than there are chunks.
    const int threads =
        static_cast<int>(std::min<std::uint64_t>(std::max(settings.threads, 1), to - from));

    // One head's tables (and equalizer) for every worker: they are only read.
    if (!channel) channel = MakeEyeChannel(settings);
    auto work = [&] {
        EyeSource source(settings.chain, settings.sigma, geometry.uis, channel);
        EyePainter painter(geometry);
        std::vector<std::uint32_t> hits(size, 0);
        while (!stop.load()) {
            const std::uint64_t c = next.fetch_add(1);
            if (c >= to) break;
            const std::uint64_t first = c * kEyeChunkBlocks;
            const int blocks =
                static_cast<int>(std::min<std::uint64_t>(kEyeChunkBlocks, settings.blocks - first));
            source.Start(settings.seed, c);
            for (int b = 0; b < blocks; ++b) {
                painter.DrawBlock(source.NextBlock());
                if ((b + 1) % painter.BlocksPerDrain() == 0) painter.Drain(hits);
            }
            painter.Drain(hits);
            drawn.fetch_add(static_cast<std::uint64_t>(blocks));
        }
        std::lock_guard<std::mutex> lock(mutex);
        for (std::size_t i = 0; i < size; ++i) sum[i] += hits[i];
    };
    const std::uint64_t before = image.blocks;
    RunWorkers(threads, work, [&] {
        if (report) report(before + drawn.load());
    });
    image.blocks = before + drawn.load();
    return next.load() >= to;
}

} // namespace engine
