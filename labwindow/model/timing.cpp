#include "labwindow/model/timing.h"

#include <algorithm>
#include <cmath>

#include "choices/texts.h"
#include "choices/values.h"
#include "engine/frame_timing.h"

namespace labmodel {

std::vector<const choices::ChannelOption*> TimingRows() {
    std::vector<const choices::ChannelOption*> rows;
    for (const choices::ChannelOption& row : choices::ChannelOptions())
        if ((row.commands & choices::kTiming) != 0) rows.push_back(&row);
    return rows;
}

std::string SetTiming(TimingOptions& options, const std::string& name, const std::string& text) {
    const choices::ChannelOption* row = choices::FindOption(name);
    if (row == nullptr || (row->commands & choices::kTiming) == 0)
        return choices::Quoted(name) + " is no timing option";
    const std::string keyword = row->keyword;
    std::vector<std::pair<std::string, std::string>> given;
    if (!text.empty()) {
        choices::ChannelChoice trial;
        if (std::string error = row->parse(text, false, trial); !error.empty()) return error;
    }
    for (const choices::ChannelOption* r : TimingRows()) {
        if (r->keyword == keyword) {
            if (!text.empty()) given.emplace_back(keyword, text);
            continue;
        }
        for (const auto& [k, t] : options.given)
            if (k == r->keyword) given.emplace_back(k, t);
    }
    options.given = given;
    return {};
}

std::string TimingText(const TimingOptions& options, const std::string& name) {
    const choices::ChannelOption* row = choices::FindOption(name);
    if (row == nullptr) return {};
    for (const auto& [k, t] : options.given)
        if (k == row->keyword) return t;
    return {};
}

channel::TimingSettings TimingOf(const TimingOptions& options) {
    choices::ChannelChoice c;
    for (const auto& [k, t] : options.given)
        if (const choices::ChannelOption* row = choices::FindOption(k)) row->parse(t, false, c);
    return c.chain.timing;
}

engine::FrameTiming TrackBlock(const LabSettings& settings, const channel::TimingSettings& timing,
                               const std::vector<std::uint8_t>& raw) {
    const engine::ChainSettings plain = ChainOf(settings);
    engine::ChainSettings chain = plain.Coded();
    chain.timing = timing;
    // The loop's numbers need no converter: what it reads is the equalizer's
    // float output.
    chain.adcBits = 0;
    return engine::TrackBits(chain, plain.CodedSigma(Sigma(settings)), raw, settings.seed);
}

TimingPicture ComputeTiming(const LabSettings& settings, const TimingOptions& options,
                            const std::vector<std::uint8_t>& raw, std::uint64_t run) {
    TimingPicture p;
    p.run = run;
    p.bits = static_cast<int>(raw.size());
    p.timing = TimingOf(options);
    engine::ChainSettings chain = ChainOf(settings);
    p.channelText = choices::ChannelText(chain);
    p.targetName = chain.TargetName();
    p.sigma = Sigma(settings);
    p.modelled = p.timing.on && !raw.empty();
    if (!p.modelled) return p;
    const engine::FrameTiming t = TrackBlock(settings, p.timing, raw);
    const engine::TimingDesign& d = *t.design;
    p.truePhase = t.track.truePhase;
    p.recovered = t.track.recovered;
    p.dataStart = d.DataStart();
    p.start = t.track.start;
    p.startSample = d.zpsEnd;
    if (d.zpsEnd < static_cast<int>(p.truePhase.size()))
        p.startTrue = p.truePhase[static_cast<std::size_t>(d.zpsEnd)];
    p.trackFrom = t.track.trackFrom;
    p.lock = t.lock;
    p.slips = t.track.slips;
    p.rms = t.track.counted > 0 ? std::sqrt(t.track.squares / t.track.counted) : 0.0;
    p.linearRms = d.LinearRms();
    return p;
}

std::string TimingLine(const TimingPicture& p) {
    using choices::Number;
    if (!p.modelled)
        return "Timing is at its ideal instants: every sample of the block is read at its own "
               "instant, as in the other views. Give a timing option above (as ber and timing "
               "take them on the command line) to read the block through a clock that is off "
               "and the loop that follows it.";
    std::string line = "Block " + std::to_string(p.run) + " (" + std::to_string(p.bits) +
                       " bits after a " + std::to_string(p.timing.preamble) + "-bit preamble), " +
                       p.channelText + ", " + p.targetName + "; zero-phase start " +
                       Number("%.4f", p.start) + " (true " + Number("%.4f", p.startTrue) + ")";
    line += p.lock >= 0 ? "; locked " + std::to_string(p.lock) +
                              " samples after the loop's first step (sample " +
                              std::to_string(p.trackFrom) + ")"
                        : "; not locked at the end";
    line += "; " + std::to_string(p.slips) + (p.slips == 1 ? " slip" : " slips");
    if (p.slips == 0)
        line += "; rms timing error over the block " + Number("%.4g", p.rms) +
                " (linear model, settled: " + Number("%.4g", p.linearRms) + ")";
    return line;
}

} // namespace labmodel
