#pragma once
// The lab's commands. Each one adds its subcommand and options to the
// program's parser, and runs once the whole command line has been accepted;
// Run* returns the exit status.
#include "lab/ber_engine.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace lab {

struct EventsOptions {
    int maxD2 = 24;
    int maxLen = 16;
};
CLI::App* AddEventsCommand(CLI::App& app, EventsOptions& options);
int RunEvents(const EventsOptions& options);

struct DetectOptions {
    std::uint64_t runs = 1;
    double sigma = 0.3;
    std::uint64_t seed = 1;
    std::string csv;
};
CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options);
int RunDetect(const DetectOptions& options);

struct BerOptions {
    std::vector<double> sigmas;
    std::vector<double> snrDbs; // beside sigmas when the points came from --snr
    BerSettings settings;
    std::string csv;
    std::string png;
    int width = 800;
    int height = 520;
};
CLI::App* AddBerCommand(CLI::App& app, BerOptions& options);
// Checks what the parser cannot see by itself; throws CLI::ParseError.
void CheckBerOptions(const BerOptions& options);
int RunBer(const BerOptions& options);

struct EyeOptions {
    std::uint64_t runs = 100'000;
    double sigma = 0.1;
    int uis = 2;
    std::uint64_t seed = 1;
    int threads = 1;
    int width = 560;
    int height = 360;
    std::string png;
};
CLI::App* AddEyeCommand(CLI::App& app, EyeOptions& options);
// Checks what the parser cannot see by itself; throws CLI::ParseError.
void CheckEyeOptions(const EyeOptions& options);
int RunEye(const EyeOptions& options);

} // namespace lab
