#pragma once
// The detector table: one row per kind, and everything the lab does with a
// detector loops over it: the command line's --detector and its help, the
// lab window's boxes, strips and remembered settings, the Python module's
// functions, chart colours, the error-rate columns, and the factory. A new
// detector is its own files, a value of Kind and one row.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/target.h"
#include "detectors/detector.h"

namespace detectors {

// Where a detector would run: what its row's rule looks at.
struct Where {
    // The target, or null for one designed at each noise level (gprL, whose
    // taps are real).
    const channel::Target* target = nullptr;
    std::string name;      // how the lab names the target: "e3pr4", "1,2,1", "gpr5"
    bool coloured = false; // the noise an equalizer has coloured (a head's)
    int adcBits = 0;       // the converter's bits in front, 0 for none
};

// When the error-rate table and CSV have a detector's two columns: always,
// on a head (whether it ran or not: an empty pair where it did not), or only
// when it is asked for.
enum class Columns { kAlways, kOnHead, kWhenAsked };

struct Row {
    Kind kind;
    const char* name;     // on the command line, in CSV columns and in Python
    const char* title;    // in legends and the lab window
    const char* label;    // the lab window's box, its mnemonic marked: "&Viterbi"
    const char* help;     // one line, for --help and tooltips
    std::uint32_t colour; // 0xRRGGBB, on charts and the window's strips
    bool soft;            // gives ratios of its own (Detector::DetectSoft)
    bool byDefault;       // runs where it applies when no detector is named
    Columns columns;
    // The channel options it takes besides the channel's own, by their
    // names on the command line without dashes ("predictor").
    std::vector<std::string> options;
    // Why it cannot run there, or an empty string.
    std::string (*whyNot)(const Where& where);
    // A detector for the setup; whyNot must be empty there.
    std::unique_ptr<Detector> (*make)(const Setup& setup);
};

// Every row, in the order the lab shows them.
const std::vector<Row>& Table();
const Row& RowOf(Kind kind);
// The row of a name, or null.
const Row* Find(const std::string& name);

// "slicer", "viterbi", "npml": as the command line and the CSV write them.
const char* KindName(Kind kind);
// "slicer", "Viterbi", "NPML": as a chart's legend or a window shows them.
const char* KindTitle(Kind kind);

std::string WhyNot(Kind kind, const Where& where);
// The kinds that run there when none are named: the default rows that apply.
std::vector<Kind> DefaultKinds(const Where& where);
// A detector of `kind` for the setup, by its row.
std::unique_ptr<Detector> Make(Kind kind, const Setup& setup);

} // namespace detectors
