#pragma once
// The channel a front end chooses: the engines' chain settings, the targets
// and the detectors asked for, and the table of channel options that the
// command line, the lab window and the Python module all read. A new channel
// option is one row here (and its field in engine::ChainSettings, whose
// value there is its default).
#include <string>
#include <vector>

#include "choices/targets.h"
#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/eye_diagram.h"
#include "engine/importance.h"

namespace choices {

struct ChannelChoice {
    engine::ChainSettings chain; // its target fields come from `targets`
    std::vector<TargetChoice> targets = {TargetChoice{}};
    // The detectors named, in the order given; none: every default one that
    // applies.
    std::vector<detectors::Kind> detectors;
    // How ber measures its rates: counting, or importance sampling ending at
    // a relative standard error.
    engine::Estimator estimator = engine::Estimator::kCounting;
    double rse = engine::ImportanceSettings{}.rse;
    // The options given, by their flags ("--density"), in the table's order.
    std::vector<std::string> given;
};

// Which commands take an option.
// kTiming: quorvane-lab timing; the rows that carry it are the timing
// model's, which the lab window has no controls for yet (InWindow).
enum Command : unsigned {
    kBer = 1,
    kDetect = 2,
    kEye = 4,
    kLlr = 8,
    kExit = 16,
    kTiming = 32,
    kSfr = 64,
    // Rows the lab window has no control for yet (besides the timing's).
    kNoWindow = 128,
    // quorvane-lab eye's second eye, at the recovered instants (the command
    // line's; Python's eye() draws the eye at the ideal instants).
    kEyeTiming = 256
};

// What an option's value is, for the front ends that show it.
enum class Shape {
    kNumber,    // a number: a line edit, a Python float
    kCount,     // a whole number: a line edit, a Python int
    kName,      // one of names(): a combo box, a Python str
    kTargets,   // --target: a name, a list of coefficients or gprL
    kDetectors, // --detector: names of the detector table
};

struct ChannelOption {
    const char* flag;     // on the command line: "--density"
    const char* keyword;  // in Python: "density"
    const char* typeName; // in --help: "D"
    const char* label;    // in the lab window, its mnemonic marked: "&Density"
    Shape shape;
    bool headOnly;     // the ideal channel takes none
    unsigned commands; // Command bits
    // The help line, with its range and its default; `several`: ber's
    // --target, which takes a list.
    std::string (*help)(bool several);
    // kName: the names it takes.
    std::vector<std::string> (*names)();
    // The value from its text into the choice; `several` as for help.
    std::string (*parse)(const std::string& text, bool several, ChannelChoice& choice);
    // kNumber and kCount: the value from a number, named as `shown`.
    std::string (*number)(double value, const std::string& shown, ChannelChoice& choice);
    // The value as text that parse reads back.
    std::string (*show)(const ChannelChoice& choice);
};

// Every channel option, in the order of --help and the window.
const std::vector<ChannelOption>& ChannelOptions();
// Whether the lab window's panel has a control for the row.
inline bool InWindow(const ChannelOption& option) {
    return (option.commands & (kTiming | kNoWindow)) == 0;
}
// The row of a flag ("--jitter") or a Python keyword ("jitter"), or null.
const ChannelOption* FindOption(const std::string& name);

// Records that `option` was given: into choice.given, kept in the table's
// order.
void Given(const ChannelOption& option, ChannelChoice& choice);

// What the parsers cannot see by themselves: a head's option on the ideal
// channel, gprL without a head, a detector that does not apply to a target,
// a converter a target cannot have. The option refused and its line, or an
// empty line.
struct Refusal {
    std::string option; // its flag
    std::string line;
};
Refusal CheckChannel(const ChannelChoice& choice);
// What a constraint code refuses (part of CheckChannel): the slicer named, a
// converter, the timing modelled.
Refusal ConstraintRefusal(const ChannelChoice& choice);
// Why a detector cannot decide a constraint code's bits, or an empty line.
std::string ConstraintWhyNot(detectors::Kind kind);
// The eye draws the head's readback: one line when the target is gprL.
std::string CheckEyeTarget(const engine::ChainSettings& chain);
// Where the eye looks (--point): readback (the default) or equalized, by
// name; its help line.
std::vector<std::string> EyePointNames();
std::string ParseEyePoint(const std::string& text, engine::EyePoint& point);
std::string EyePointHelp();
const char* EyePointName(engine::EyePoint point);

// The chain's settings with target t.
engine::ChainSettings ChainFor(const ChannelChoice& choice, std::size_t t);
// Every target's chain.
std::vector<engine::ChainSettings> ChainsOf(const ChannelChoice& choice);
// The detectors named, in the table's order (none named: empty).
std::vector<detectors::Kind> NamedDetectors(const ChannelChoice& choice);
// The detectors that run with a design: those named, or every default one
// that applies there.
std::vector<detectors::Kind> DetectorsFor(const ChannelChoice& choice,
                                          const engine::ChannelDesign& design);
// The soft detectors of a choice (llr, exit): those named, each of which
// must give ratios of its own, or none named: every soft one that applies to
// the first target. The line refusing a hard one, or an empty line.
std::string SoftDetectors(const ChannelChoice& choice, std::vector<detectors::Kind>& kinds);

// Where a chain's detectors run, before its design (a gprL target is null).
detectors::Where WhereOf(const engine::ChainSettings& chain, const TargetChoice& target);

// The survey's values (quorvane-lab targets): its head (a head, never the
// ideal channel), densities as D or FROM:TO:STEP, and the same jitter and
// taps as the channel options take, as text and as numbers.
std::string ParseSurveyHead(const std::string& text, channel::HeadKind& head);
std::string ParseSurveyDensities(const std::string& text, std::vector<double>& densities);
std::string CheckJitter(double jitter, const std::string& shown);
std::string ParseJitter(const std::string& text, double& jitter);
std::string CheckEqualizerTaps(double taps, const std::string& shown);
std::string ParseEqualizerTaps(const std::string& text, int& taps);

// The model of the recording channel, for the lab's --help.
extern const char* const kRecordingModel;
// The model of the sampling clock and the timing loop, for the lab's --help.
extern const char* const kTimingModel;

} // namespace choices
