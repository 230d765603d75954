#pragma once
// Where a constraint code pays: at each user density, every code of the
// constraint table (none first) written at the channel density D / R with
// the noise's spectral density held, its constrained d2min and detection
// SNR at the detector, and the user-bit error rate after its decoder, all at
// the same SNR of the uncoded channel.
#include <atomic>
#include <vector>

#include "channel/constraint.h"
#include "detectors/table.h"
#include "engine/ber_sweep.h"
#include "engine/chain.h"

namespace engine {

struct ConstraintSurveySettings {
    BerSettings run;     // bits, errors, frame (user bits, rounded down to words), seed, threads
    ChainSettings chain; // its density and constraint are set for each row
    std::vector<double> densities; // user densities on a head; on the ideal channel one, unused
    // The noise: a deviation or an SNR in dB of the uncoded channel (one of
    // them set, the other negative).
    double sigma = -1, snrDb = -1;
    // The detectors (Viterbi and npml take a code); none: the sweep's default.
    std::vector<detectors::Kind> detectors;
    std::vector<channel::ConstraintKind> constraints; // empty: every row that takes a frame
};

struct ConstraintSurveyRow {
    double density = 0;        // the user density (0 on the ideal channel)
    double channelDensity = 0; // D / R
    channel::ConstraintKind constraint = channel::ConstraintKind::kNone;
    double rate = 1;
    double d2min = 0;          // of the detector's trellis, constrained
    double noiseVariance = 0;  // the detector's noise: sigma^2, or the equalized noise's
    double detectionSnrDb = 0; // 10 log10(d2min / noiseVariance)
    BerPoint point;            // its counts: raw (coded) bits and, with a code, user bits
    // A detector's user-bit errors and bits (the raw ones without a code).
    const Monitor* UserCounts(detectors::Kind kind) const;
};

// The frame of whole code words for `userBits` user bits (rounded down, one
// word at least), in coded bits; the frame itself without a code.
int CodedFrame(int userBits, channel::ConstraintKind constraint);

// Rows density after density, code after code, appended to `rows`;
// `reporter` hears of every point. False when stopped first.
bool SurveyConstraints(const ConstraintSurveySettings& settings, const std::atomic<bool>& stop,
                       SweepReporter& reporter, std::vector<ConstraintSurveyRow>& rows);

} // namespace engine
