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
#include "lab/channel_options.h"
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
    ChannelOptions channel;
    std::string csv;
};
CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options);
void CheckDetectOptions(const DetectOptions& options);
int RunDetect(const DetectOptions& options);

struct BerOptions {
    std::vector<double> sigmas; // from --sigma, or from --snr once the channel is known
    std::vector<double> snrDbs; // --snr's points
    engine::BerSettings settings;
    ChannelOptions channel;
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
    ChannelOptions channel;
    std::string png;
};
CLI::App* AddEyeCommand(CLI::App& app, EyeOptions& options);
void CheckEyeOptions(const EyeOptions& options);
int RunEye(const EyeOptions& options);

struct TargetsOptions {
    engine::ChannelKind channel = engine::ChannelKind::kLorentz;
    std::vector<double> densities;
    double snrDb = 20;
    double jitter = 0;
    int taps = 15;
    std::string csv;
    std::string png;
    int width = 800;
    int height = 520;
};
CLI::App* AddTargetsCommand(CLI::App& app, TargetsOptions& options);
void CheckTargetsOptions(const TargetsOptions& options);
int RunTargets(const TargetsOptions& options);

} // namespace lab
