#pragma once
// The lab's commands. Each one adds its subcommand and options to the
// program's parser, and runs once the whole command line has been accepted;
// Check* looks at what the parser cannot see by itself (and throws
// CLI::ParseError), Run* returns the exit status. The options only fill the
// engines' settings (engine/): the commands print and write what they return.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/target.h"
#include "engine/error_rate.h"
#include "lab/options.h"

namespace lab {

struct EventsOptions {
    channel::Target target;
    double maxD2 = 0; // 0: twice the target's d2min
    int maxLen = 16;
};
CLI::App* AddEventsCommand(CLI::App& app, EventsOptions& options);
void CheckEventsOptions(EventsOptions& options);
int RunEvents(const EventsOptions& options);

struct DetectOptions {
    std::uint64_t runs = 1;
    NoiseLevel noise{0.3};
    std::uint64_t seed = 1;
    channel::Target target;
    bool tail = true;
    std::string csv;
};
CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options);
int RunDetect(const DetectOptions& options);

struct BerOptions {
    std::vector<double> sigmas; // from --sigma, or from --snr once the target is known
    std::vector<double> snrDbs; // --snr's points
    engine::BerSettings settings;
    engine::BerSetup setup;
    std::string csv;
    std::string png;
    int width = 800;
    int height = 520;
};
CLI::App* AddBerCommand(CLI::App& app, BerOptions& options);
void CheckBerOptions(BerOptions& options);
int RunBer(const BerOptions& options);

struct EyeOptions {
    std::uint64_t runs = 100'000;
    NoiseLevel noise{0.1};
    int uis = 2;
    std::uint64_t seed = 1;
    int threads = 1;
    int width = 560;
    int height = 360;
    channel::Target target;
    std::string png;
};
CLI::App* AddEyeCommand(CLI::App& app, EyeOptions& options);
void CheckEyeOptions(const EyeOptions& options);
int RunEye(const EyeOptions& options);

} // namespace lab
