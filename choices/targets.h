#pragma once
// Targets as the lab's options give them: named, a coefficient list, or
// gprL (a target of L + 1 taps designed with a head's equalizer).
#include <string>
#include <vector>

#include "channel/target.h"

namespace choices {

struct TargetChoice {
    channel::Target target;
    int gpr = 0; // L of gprL, 0 for a target given as it is
};

// At most this many targets in one sweep.
inline constexpr std::size_t kMaxTargets = 16;

// One target, or with `several` a comma-separated list of names and gprL. A
// text in which any comma-separated part is a number is one coefficient
// list ("1,nan" is a list with a bad coefficient, not two targets).
// With `memoryless` (coded runs) a single coefficient is a target too, of
// memory 0: `1` is binary input (levels 0 and 1) on white noise; elsewhere
// it is refused with a line that says where it runs.
std::string ParseTargets(const std::string& text, bool several, std::vector<TargetChoice>& targets,
                         bool memoryless = false);
// The texts of --target, given once or (with `several`) more often: each one
// target or a list, at most kMaxTargets in all.
std::string ParseTargetTexts(const std::vector<std::string>& texts, bool several,
                             std::vector<TargetChoice>& targets, bool memoryless = false);

// The error-event search's reach: 0 becomes the default, twice the target's
// d2min; one beyond kMaxEventReach times d2min gets the line that says so.
std::string CheckEventReach(const channel::Target& target, double& maxD2);

} // namespace choices
