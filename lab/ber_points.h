#pragma once
// The error-rate points as `quorvane-lab ber` and the lab window write them:
// one CSV, whichever front end ran the sweep. Its columns are the engine's
// (engine::BerColumnsOf), which the Python module's array has too.
#include <cstdio>
#include <vector>

#include "engine/ber_sweep.h"
#include "lab/channel_options.h"

namespace lab {

// The columns of a sweep on these channel options.
engine::BerColumns BerColumnsFor(const ChannelOptions& options);

// A header of the columns' names, then a row a point: the target's name when
// several targets ran, snr_db, sigma, bits, each detector's errors and rate
// (both empty where it did not run), union_bound.
void WriteBerCsv(std::FILE* file, const ChannelOptions& options,
                 const std::vector<engine::BerPoint>& points);

} // namespace lab
