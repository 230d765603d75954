#pragma once
// Which target at which density: every named target and gpr2 ... gpr6,
// equalized on a head at each density, with the detection SNR d2min / mse
// that decides the Viterbi detector's error rate at high SNR.
#include <string>
#include <vector>

#include "channel/head.h"
#include "engine/chain.h"

namespace engine {

struct SurveySettings {
    channel::HeadKind head = channel::HeadKind::kLorentz;
    std::vector<double> densities;
    double snrDb = 20; // the equalizers' operating point, 10 log10(E_i / sigma^2)
    double jitter = 0;
    int taps = 15;
};

struct SurveyRow {
    double density = 0;
    std::string target;       // "pr4", ..., "gpr6"
    std::string coefficients; // "1,0,-1", or the designed ones
    int delay = 0;
    double mse = 0;
    double d2min = 0;
    double detectionSnrDb = 0; // 10 log10(d2min / mse)
};

// The names of a row's values, in order: the columns of `quorvane-lab
// targets --csv` and the fields of the Python module's table.
inline constexpr const char* kSurveyColumns[] = {"density", "target", "coefficients",    "delay",
                                                 "mse",     "d2min",  "detection_snr_db"};

// One row per density and target, densities in the order given, targets pr4,
// epr4, e2pr4, e3pr4, gpr2 ... gpr6.
std::vector<SurveyRow> SurveyTargets(const SurveySettings& settings);

} // namespace engine
