#pragma once
// A sweep's points as every front end reports them: the columns of its
// table (the command line's table and CSV, the lab window's CSV, the Python
// module's array), the CSV itself, and the sweep's settings from a choice.
#include <cstdio>
#include <string>
#include <vector>

#include "choices/channel.h"
#include "engine/ber_sweep.h"

namespace choices {

// A target column first when several targets run, then snr_db, sigma, bits,
// an errors and a rate column for each detector whose row says so (always,
// on a head, or when named; one that did not run at a point leaves its two
// cells empty), then union_bound.
//
// By importance sampling the errors column holds the wrong bits seen in the
// trials (unweighted) and the rate column is empty; after union_bound come,
// for each detector, its estimate, relative standard error and 95 %
// interval (<name>_ber_is, <name>_rse, <name>_ber_low, <name>_ber_high),
// then the point's processor seconds (cpu_s). With the timing modelled,
// slips and rms_phase come last.
struct BerColumns {
    bool target = false;
    bool importance = false;
    std::vector<detectors::Kind> kinds; // the detectors with columns, in order
    bool timing = false;                // slips,rms_phase after union_bound
    // With a constraint code, last: user_bits, each detector's user_errors
    // and user_ber, and on the ideal channel snr_user_db (per user bit).
    bool coded = false, ideal = false;
    // "target", "snr_db", "sigma", "bits", "slicer_errors", "slicer_ber", ...
    std::vector<std::string> Names() const;
};
BerColumns BerColumnsOf(const ChannelChoice& choice);

// The importance-sampling cells of a point, in the order of their names
// (NaN for a detector that did not run).
std::vector<double> ImportanceCells(const BerColumns& columns, const engine::BerPoint& point);

// A header of the columns' names, then a row a point.
void WriteBerCsv(std::FILE* file, const ChannelChoice& choice,
                 const std::vector<engine::BerPoint>& points);

// The sweep of a choice: its targets' chains and its detectors.
engine::SweepSettings SweepOf(const ChannelChoice& choice, const engine::BerSettings& run,
                              const std::vector<double>& sigmas, const std::vector<double>& snrDbs);

} // namespace choices
