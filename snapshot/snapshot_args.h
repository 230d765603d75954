#pragma once
// Command line of quorvane-snapshot, which builds the main window without a
// screen, presses its button N times and writes what was asked for.
#include <string>
#include <string_view>
#include <vector>

namespace snapshot {

inline constexpr long kMaxSnapshotRuns = 1000000;

struct SnapshotOptions {
    long runs = 1;
    // Each file name may be "-", standard output, for one output at most.
    std::string png;    // the window's client area
    std::string raster; // the plot's palette indices as a binary PGM
    std::string data;   // every run's four sequences as CSV
    std::string wave;   // the last run's waveform as CSV
    bool help = false;
    bool version = false;
    // Presses the whole button for every run, not only the last: slower,
    // the same output. Not in the usage text; the tests compare the two.
    bool everyPress = false;
};

struct SnapshotArgs {
    bool ok = false;
    SnapshotOptions options;
    std::string error; // one line naming the problem when !ok
};

// Arguments after the program name. Never throws.
SnapshotArgs ParseSnapshotArgs(const std::vector<std::string_view>& args);

extern const char* const kSnapshotUsage;

} // namespace snapshot
