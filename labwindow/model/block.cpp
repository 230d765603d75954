#include "labwindow/model/block.h"

#include <cstdio>

#include "channel/bounds.h"
#include "channel/waveform.h"

namespace labmodel {

std::string HoverText(const BlockView& view, int k) {
    const std::size_t at = static_cast<std::size_t>(k);
    char text[160];
    std::snprintf(text, sizeof text, "k %d: received %.3f, ideal %g", k,
                  static_cast<double>(view.received[at]), static_cast<double>(view.clean[at]));
    std::string line = text;
    if (k >= view.bits) return line + " (the tail: no data bit)";
    line += "; raw " + std::to_string(view.raw[at]);
    for (std::size_t d = 0; d < view.kinds.size(); ++d) {
        line += std::string(", ") + detectors::KindTitle(view.kinds[d]) + " " +
                std::to_string(view.decided[d][at]);
        if (view.Wrong(d, k)) line += " (wrong)";
    }
    return line;
}

BlockSource::BlockSource(const LabSettings& settings)
    : settings_(settings), blocks_(std::make_unique<engine::WindowBlocks>(BlocksOf(settings))),
      table_(EventsTable(settings.target)) {
    const std::vector<double>& f = settings.target.Coefficients();
    channel::BuildPulseTable(f.data(), static_cast<int>(f.size()), pulse_);
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

BlockSource BlockSource::Replay(const LabSettings& settings, std::uint64_t run) {
    BlockSource source(settings);
    for (std::uint64_t r = 0; r < run; ++r) source.blocks_->Next();
    return source;
}

BlockView BlockSource::View(const engine::BlockResult& result) {
    const engine::Frame& f = result.frame;
    BlockView v;
    v.run = result.run;
    v.renoised = renoised_;
    v.bits = static_cast<int>(f.raw.size());
    v.tail = static_cast<int>(f.received.size()) - v.bits;
    v.snrDb = settings_.snrDb;
    v.sigma = Sigma(settings_);
    v.targetName = settings_.target.Name();
    v.levels = settings_.target.Levels();
    v.raw = f.raw;
    v.clean = f.clean;
    v.received = f.received;
    v.kinds = blocks_->settings().detectors;
    v.decided = result.decided;
    v.errors = result.errors;

    // The waveform from kWaveMarginBits before bit 0 to as many after the
    // last sample, both ends included.
    const int samples = static_cast<int>(f.received.size());
    v.firstTenth = -channel::kPointsPerBit * kWaveMarginBits;
    const int count = channel::kPointsPerBit * (samples - 1 + 2 * kWaveMarginBits) + 1;
    std::vector<float> prec(f.prec.begin(), f.prec.end());
    v.cleanWave.resize(static_cast<std::size_t>(count));
    channel::SynthesizeWave(prec.data(), v.bits, pulse_, v.firstTenth, count, v.cleanWave.data());
    std::vector<float> noise(static_cast<std::size_t>(samples));
    for (int k = 0; k < samples; ++k)
        noise[static_cast<std::size_t>(k)] =
            f.received[static_cast<std::size_t>(k)] - f.clean[static_cast<std::size_t>(k)];
    v.noisyWave.resize(static_cast<std::size_t>(count));
    channel::SynthesizeWave(noise.data(), samples, sinc_, v.firstTenth, count, v.noisyWave.data());
    for (int j = 0; j < count; ++j)
        v.noisyWave[static_cast<std::size_t>(j)] += v.cleanWave[static_cast<std::size_t>(j)];

    v.trellis = MakeTrellisView(settings_.target, f.received, f.prec, v.bits, v.tail, table_);
    return v;
}

} // namespace labmodel
