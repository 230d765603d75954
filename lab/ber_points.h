#pragma once
// The error-rate points as `quorvane-lab ber` and the lab window write them:
// one CSV, whichever front end ran the sweep.
#include <cstdio>
#include <vector>

#include "detectors/detector.h"
#include "engine/error_rate.h"

namespace lab {

// A finished point as the table, the CSV and the chart show it.
struct BerPoint {
    double snrDb = 0;
    double sigma = 0;
    engine::PointCounts counts; // one monitor per detector of the setup
    double unionBound = 0;      // of the Viterbi detector's raw-bit error rate
};

// Where `kind` is in the setup's detectors, or -1.
int IndexOf(const engine::BerSetup& setup, detectors::Kind kind);

// snr_db,sigma,bits, then every detector the lab has with its two columns
// (errors, BER) in the same place whatever runs (one that did not run leaves
// them empty), then union_bound.
void WriteBerCsv(std::FILE* file, const engine::BerSetup& setup,
                 const std::vector<BerPoint>& points);

} // namespace lab
