#include "choices/targets.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "choices/values.h"

namespace choices {
namespace {

// Whether a part of a target list reads as a number (NaN and infinity
// included): then the whole text is coefficients.
bool Numeric(const std::string& part) {
    const std::size_t first = part.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    std::strtod(part.c_str() + first, &end);
    return end != part.c_str() + first;
}

// A text that is one number and nothing else (blanks around it allowed).
bool OneNumber(const std::string& text, double& value) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text.find(',') != std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str() + first, &end);
    if (end == text.c_str() + first || errno == ERANGE || !std::isfinite(value)) return false;
    return text.find_first_not_of(" \t", static_cast<std::size_t>(end - text.c_str())) ==
           std::string::npos;
}

// The memory-0 target of one coefficient, or the line refusing it.
std::string ParseMemoryless(const std::string& text, bool memoryless, channel::Target& target) {
    double f0 = 0;
    channel::Target unused;
    std::string error = channel::Target::Parse(text, unused);
    if (!OneNumber(text, f0) || std::fabs(f0) > channel::kMaxCoefficient) return error;
    if (!memoryless) return error + "; one coefficient (memory 0, e.g. 1) only in coded runs (sfr)";
    if (f0 == 0) return Quoted(text) + " is no target: its one coefficient is 0";
    target = channel::Target({f0});
    return {};
}

} // namespace

std::string ParseTargets(const std::string& text, bool several, std::vector<TargetChoice>& targets,
                         bool memoryless) {
    std::vector<TargetChoice> list;
    std::vector<std::string> parts = Split(text, ',');
    bool coefficients = !several;
    for (const std::string& part : parts) coefficients = coefficients || Numeric(part);
    if (coefficients) parts = {text};
    for (const std::string& part : parts) {
        TargetChoice choice;
        if (part.size() == 4 && part.compare(0, 3, "gpr") == 0 && part[3] >= '0' &&
            part[3] <= '9') {
            choice.gpr = part[3] - '0';
            if (choice.gpr < 2 || choice.gpr > 6)
                return Quoted(part) + ": gprL has L from 2 to 6 (a target of L + 1 taps)";
        } else if (std::string error = channel::Target::Parse(part, choice.target);
                   !error.empty()) {
            if (std::string e = ParseMemoryless(part, memoryless, choice.target); !e.empty())
                return e;
        }
        for (const TargetChoice& t : list)
            if (t.gpr == choice.gpr &&
                (t.gpr > 0 || t.target.Coefficients() == choice.target.Coefficients()))
                return Quoted(part) + " is given twice";
        list.push_back(choice);
    }
    if (list.size() > kMaxTargets)
        return Quoted(text) + " has more than " + std::to_string(kMaxTargets) + " targets";
    targets = list;
    return {};
}

std::string ParseTargetTexts(const std::vector<std::string>& texts, bool several,
                             std::vector<TargetChoice>& targets, bool memoryless) {
    std::vector<TargetChoice> list;
    for (const std::string& text : texts) {
        std::vector<TargetChoice> parsed;
        if (std::string error = ParseTargets(text, several, parsed, memoryless); !error.empty())
            return error;
        for (const TargetChoice& t : parsed) list.push_back(t);
    }
    if (list.size() > kMaxTargets) return "more than " + std::to_string(kMaxTargets) + " targets";
    targets = list;
    return {};
}

std::string CheckEventReach(const channel::Target& target, double& maxD2) {
    const double d2min = target.D2Min();
    if (maxD2 == 0) maxD2 = 2 * d2min;
    if (maxD2 <= kMaxEventReach * d2min) return {};
    char line[200];
    std::snprintf(line, sizeof line, "%g is beyond %g, %g times the target's d2min of %g", maxD2,
                  kMaxEventReach * d2min, kMaxEventReach, d2min);
    return line;
}

} // namespace choices
