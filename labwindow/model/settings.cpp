#include "labwindow/model/settings.h"

#include <algorithm>
#include <cstdio>

#include "channel/bounds.h"
#include "choices/ber_table.h"
#include "choices/texts.h"
#include "choices/values.h"

namespace labmodel {

Capabilities EngineCapabilities() {
    // The engines' ChainSettings hold a head, its density and jitter and the
    // equalizer, and the detector table has npml.
    return {true, true};
}

std::vector<detectors::Kind> DefaultTicks() {
    std::vector<detectors::Kind> kinds;
    for (const detectors::Row& row : detectors::Table())
        if (row.byDefault) kinds.push_back(row.kind);
    return kinds;
}

std::string SetTarget(LabSettings& settings, const std::string& text) {
    // gprL is the command line's too, but its taps are designed at each
    // noise level, and the views here draw one fixed target: say so rather
    // than call the name unknown.
    std::vector<choices::TargetChoice> choices;
    if (choices::ParseTargets(text, false, choices).empty() && choices.size() == 1 &&
        choices.front().gpr > 0)
        return text + " is designed with the equalizer at each noise level, which the window does "
                      "not draw; quorvane-lab ber and targets take it";
    channel::Target target;
    if (std::string error = channel::Target::Parse(text, target); !error.empty()) {
        // One coefficient, memory 0, as the coded runs' parser takes it.
        std::vector<choices::TargetChoice> coded;
        if (std::string why = choices::ParseTargets(text, false, coded, true); !why.empty())
            return why;
        if (coded.size() != 1 || coded.front().target.Memory() != 0) return error;
        settings.targetText = text;
        settings.codedTarget = coded.front().target;
        return {};
    }
    settings.targetText = text;
    settings.channel.targets = {choices::TargetChoice{target, 0}};
    settings.codedTarget.reset();
    return {};
}

std::string TargetNote(const LabSettings& settings) {
    if (!settings.codedTarget) return {};
    const channel::Target& kept = settings.Target();
    return "memory 0: only the Sectors tab runs it (coded runs, as sfr does); the other tabs "
           "keep " +
           kept.Name();
}

LabSettings CodedSettings(const LabSettings& settings) {
    LabSettings coded = settings;
    if (settings.codedTarget)
        coded.channel.targets = {choices::TargetChoice{*settings.codedTarget, 0}};
    return coded;
}

std::string SetOption(LabSettings& settings, const std::string& name, const std::string& text) {
    const choices::ChannelOption* row = choices::FindOption(name);
    if (row == nullptr) return choices::Quoted(name) + " is no channel option";
    // The parser stores what it reads only once it is taken; the copy keeps
    // every other field as it was all the same.
    choices::ChannelChoice trial = settings.channel;
    if (std::string error = row->parse(text, false, trial); !error.empty()) return error;
    // The window's detectors are its ticks, shown unticked where they do not
    // apply; what is left to refuse is a converter with a code.
    if (const choices::Refusal r = choices::ConstraintRefusal(trial); !r.line.empty())
        return r.line;
    settings.channel = trial;
    return {};
}

std::string OptionText(const LabSettings& settings, const std::string& name) {
    const choices::ChannelOption* row = choices::FindOption(name);
    return row == nullptr ? std::string() : row->show(settings.channel);
}

void Tick(LabSettings& settings, detectors::Kind kind, bool on) {
    std::vector<detectors::Kind> ticked;
    for (const detectors::Row& row : detectors::Table())
        if (row.kind == kind ? on : Ticked(settings, row.kind)) ticked.push_back(row.kind);
    settings.ticked = ticked;
}

bool Ticked(const LabSettings& settings, detectors::Kind kind) {
    return std::find(settings.ticked.begin(), settings.ticked.end(), kind) != settings.ticked.end();
}

std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs) {
    return choices::ParseSnrRange(settings.sweepRange, dbs);
}

double Sigma(const LabSettings& settings) {
    return channel::SigmaOfSnr(engine::SignalEnergy(ChainOf(settings)), settings.snrDb);
}

std::string WhyNot(const LabSettings& settings, detectors::Kind kind) {
    const engine::ChainSettings chain = ChainOf(settings);
    detectors::Where where = choices::WhereOf(chain, settings.channel.targets.front());
    if (chain.constraint == channel::ConstraintKind::kNone) return detectors::WhyNot(kind, where);
    if (std::string why = choices::ConstraintWhyNot(kind); !why.empty()) return why;
    // The code's trellis is the target's under the NRZI precoder.
    const channel::Target nrzi = settings.Target().WithNrzi();
    where.target = &nrzi;
    return detectors::WhyNot(kind, where);
}

std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings) {
    std::vector<detectors::Kind> kinds;
    for (detectors::Kind kind : settings.ticked)
        if (WhyNot(settings, kind).empty()) kinds.push_back(kind);
    return kinds;
}

engine::ChainSettings ChainOf(const LabSettings& settings) {
    engine::ChainSettings chain = choices::ChainFor(settings.channel, 0);
    // The window's blocks are the window's own 40-bit ones and more: always
    // with the tail that ends them in state 0.
    chain.tail = true;
    return chain;
}

choices::ChannelChoice ChoiceOf(const LabSettings& settings) {
    choices::ChannelChoice choice = settings.channel;
    choice.chain = ChainOf(settings);
    choice.detectors = DetectorsOf(settings);
    return choice;
}

std::string ChannelText(const LabSettings& settings) {
    return choices::ChannelText(ChainOf(settings));
}

engine::BlockSettings BlocksOf(const LabSettings& settings) {
    engine::BlockSettings blocks;
    blocks.chain = ChainOf(settings);
    blocks.detectors = DetectorsOf(settings);
    blocks.sigma = Sigma(settings);
    blocks.seed = settings.seed;
    blocks.bits = settings.blockBits;
    return blocks;
}

engine::EyeSettings EyeOf(const LabSettings& settings) {
    engine::EyeSettings eye;
    eye.chain = ChainOf(settings);
    eye.blocks = settings.eyeBlocks;
    eye.sigma = Sigma(settings);
    eye.uis = settings.eyeUis;
    eye.seed = settings.seed;
    eye.threads = settings.threads;
    // What the detectors' input looks like: on a head the equalizer's output
    // (on the ideal channel the same as the readback).
    eye.point = engine::EyePoint::kEqualized;
    return eye;
}

engine::BerSettings SweepSettingsOf(const LabSettings& settings) {
    engine::BerSettings ber;
    ber.bits = settings.sweepBits;
    ber.errors = settings.sweepErrors;
    ber.seed = settings.seed;
    ber.threads = settings.threads;
    return ber;
}

engine::SweepSettings SweepOf(const LabSettings& settings) {
    std::vector<double> dbs;
    SweepPoints(settings, dbs);
    return choices::SweepOf(ChoiceOf(settings), SweepSettingsOf(settings), {}, dbs);
}

std::string NoiseText(const LabSettings& settings) {
    char text[64];
    std::snprintf(text, sizeof text, "SNR %.1f dB, sigma %.3g", settings.snrDb, Sigma(settings));
    return text;
}

} // namespace labmodel
