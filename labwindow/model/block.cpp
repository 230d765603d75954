#include "labwindow/model/block.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/bounds.h"
#include "channel/waveform.h"
#include "choices/texts.h"

namespace labmodel {

std::string HoverText(const BlockView& view, int k) {
    const std::size_t at = static_cast<std::size_t>(k);
    char text[160];
    if (view.head)
        std::snprintf(text, sizeof text, "k %d: readback %.3f, equalized %.3f, ideal %g", k,
                      static_cast<double>(view.rings[at]), static_cast<double>(view.received[at]),
                      static_cast<double>(view.clean[at]));
    else
        std::snprintf(text, sizeof text, "k %d: received %.3f, ideal %g", k,
                      static_cast<double>(view.received[at]), static_cast<double>(view.clean[at]));
    std::string line = text;
    if (view.timed) {
        std::snprintf(text, sizeof text, "; the loop read %.3f at %.3f",
                      static_cast<double>(view.RingValue(k)), view.RingTime(k));
        line += text;
    }
    if (k >= view.bits) return line + " (the tail: no data bit)";
    line += (view.code.empty() ? "; raw " : "; coded ") + std::to_string(view.raw[at]);
    for (std::size_t d = 0; d < view.kinds.size(); ++d) {
        line += std::string(", ") + detectors::KindTitle(view.kinds[d]) + " " +
                std::to_string(view.decided[d][at]);
        if (!view.llr[d].empty()) {
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, " (L %.3g)", static_cast<double>(view.llr[d][at]));
            line += ratio;
        }
        if (view.Wrong(d, k)) line += " (wrong)";
    }
    return line;
}

BlockSource::BlockSource(const LabSettings& settings)
    : settings_(settings), blocks_(std::make_unique<engine::WindowBlocks>(BlocksOf(settings))),
      table_(EventsTable(settings.Target())) {
    const engine::ChannelDesign& design = blocks_->design();
    if (design.readback) {
        design.readback->Pulse(pulse_);
        range_ = engine::RangeOf(design.settings);
    } else {
        const std::vector<double>& f = settings.Target().Coefficients();
        channel::BuildPulseTable(f.data(), static_cast<int>(f.size()), pulse_);
    }
    const double one = 1;
    channel::BuildPulseTable(&one, 1, sinc_);
}

BlockView BlockSource::Next() {
    renoised_ = 0;
    return View(blocks_->Next());
}

BlockView BlockSource::Renoise() {
    ++renoised_;
    return View(blocks_->Renoise());
}

BlockView BlockSource::AtSnr(double snrDb) {
    settings_.snrDb = snrDb;
    return View(blocks_->Again(Sigma(settings_)));
}

BlockView BlockSource::Again() {
    return View(*last_);
}

BlockSource BlockSource::Replay(const LabSettings& settings, std::uint64_t run) {
    BlockSource source(settings);
    for (std::uint64_t r = 0; r < run; ++r) source.blocks_->Next();
    return source;
}

BlockView BlockSource::View(const engine::BlockResult& result) {
    last_ = &result;
    const engine::Frame& f = result.frame;
    const engine::ChannelDesign& design = blocks_->design();
    BlockView v;
    v.run = result.run;
    v.renoised = renoised_;
    v.bits = static_cast<int>(f.raw.size());
    v.tail = static_cast<int>(f.received.size()) - v.bits;
    v.snrDb = settings_.snrDb;
    v.sigma = blocks_->settings().sigma;
    v.targetName = settings_.Target().Name();
    v.channelText = choices::ChannelText(design.settings);
    v.head = design.readback != nullptr;
    v.levels = design.target.Levels();
    v.raw = f.raw;
    v.clean = f.clean;
    v.received = f.received;
    v.kinds = blocks_->Detectors();
    v.decided = result.decided;
    v.llr = result.llr;
    v.errors = result.errors;

    // The waveform from kWaveMarginBits before bit 0 to as many after the
    // last sample, both ends included.
    const int samples = static_cast<int>(f.received.size());
    v.firstTenth = -channel::kPointsPerBit * kWaveMarginBits;
    const int count = channel::kPointsPerBit * (samples - 1 + 2 * kWaveMarginBits) + 1;
    std::vector<float> prec(f.prec.begin(), f.prec.end());
    // What the noise is added to, sample by sample, from time `first` on.
    std::vector<float> noisy;
    int first = 0;
    if (v.head) {
        first = f.readbackFirst;
        noisy = f.readback;
    } else {
        noisy = f.received;
    }
    const int points = static_cast<int>(noisy.size());
    // The clean waveform over the plot and every sample the noise has.
    const int from = std::min(v.firstTenth, channel::kPointsPerBit * first);
    const int to =
        std::max(v.firstTenth + count - 1, channel::kPointsPerBit * (first + points - 1));
    std::vector<float> wave(static_cast<std::size_t>(to - from + 1));
    channel::SynthesizeWave(prec.data(), v.bits, pulse_, from, to - from + 1, wave.data());
    v.cleanWave.assign(wave.begin() + (v.firstTenth - from),
                       wave.begin() + (v.firstTenth - from + count));
    std::vector<float> noise(static_cast<std::size_t>(points));
    for (int j = 0; j < points; ++j)
        noise[static_cast<std::size_t>(j)] =
            v.head ? noisy[static_cast<std::size_t>(j)] -
                         wave[static_cast<std::size_t>(channel::kPointsPerBit * (first + j) - from)]
                   : f.received[static_cast<std::size_t>(j)] - f.clean[static_cast<std::size_t>(j)];
    v.noisyWave.resize(static_cast<std::size_t>(count));
    channel::SynthesizeWave(noise.data(), points, sinc_,
                            v.firstTenth - channel::kPointsPerBit * first, count,
                            v.noisyWave.data());
    for (int j = 0; j < count; ++j)
        v.noisyWave[static_cast<std::size_t>(j)] += v.cleanWave[static_cast<std::size_t>(j)];
    v.rings.resize(static_cast<std::size_t>(samples));
    for (int k = 0; k < samples; ++k)
        v.rings[static_cast<std::size_t>(k)] = v.head ? noisy[static_cast<std::size_t>(k - first)]
                                                      : f.received[static_cast<std::size_t>(k)];

    if (v.head) {
        v.plotLow = range_.low - range_.headroom;
        v.plotHigh = range_.high + range_.headroom;
        // 0 only where its label does not crowd an end's (an erf head's
        // readback barely goes below it).
        const double span = range_.high - range_.low;
        v.gridLines = {static_cast<float>(range_.low)};
        if (-range_.low > 0.15 * span && range_.high > 0.15 * span) v.gridLines.push_back(0.0f);
        v.gridLines.push_back(static_cast<float>(range_.high));
    } else {
        v.plotLow = v.levels.front() - 1.0;
        v.plotHigh = v.levels.back() + 1.0;
        v.gridLines = v.levels;
    }

    if (!blocks_->Code().IsNone()) {
        v.code = blocks_->Code().row().name;
        v.drawn = blocks_->settings().bits;
        v.user = result.user;
        v.userErrors = result.userErrors;
    }
    if (const channel::TimingSettings timing = TimingOf(timing_); timing.on) {
        // The Timing tab's read of this block: its track, and the samples at
        // the instants its loop recovered.
        const engine::FrameTiming t = TrackBlock(settings_, timing, f.raw);
        const int start = t.design->DataStart();
        v.timed = true;
        v.read = v.head ? t.readback : t.received;
        v.instants.resize(static_cast<std::size_t>(samples));
        for (int k = 0; k < samples; ++k) {
            const std::size_t j = static_cast<std::size_t>(start + k);
            v.instants[static_cast<std::size_t>(k)] =
                static_cast<float>(k + (static_cast<double>(t.track.truePhase[j]) -
                                        static_cast<double>(t.track.recovered[j])));
        }
        v.slips = t.track.slips;
        v.timingRms = t.track.counted > 0 ? std::sqrt(t.track.squares / t.track.counted) : 0.0;
    }

    v.trellis = MakeTrellisView(design.target, f.received, f.prec, v.bits, v.tail, table_);
    return v;
}

} // namespace labmodel
