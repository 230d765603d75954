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
#include "choices/channel.h"
#include "choices/values.h"
#include "codes/code.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/sector_run.h"
#include "engine/soft_run.h"
#include "engine/target_survey.h"
#include "engine/window_blocks.h"
#include "lab/cli.h"

namespace lab {

struct EventsOptions {
    channel::Target target;
    double maxD2 = 0; // 0: twice the target's d2min
    int maxLen = 16;
    // Only the events two sequences of the code's constraint make.
    channel::ConstraintKind constraint = channel::ConstraintKind::kNone;
};
CLI::App* AddEventsCommand(CLI::App& app, EventsOptions& options);
void CheckEventsOptions(EventsOptions& options);
int RunEvents(const EventsOptions& options);

struct DetectOptions {
    std::uint64_t runs = 1;
    choices::NoiseLevel noise{engine::BlockSettings{}.sigma};
    std::uint64_t seed = engine::BlockSettings{}.seed;
    choices::ChannelChoice channel;
    std::string csv;
};
CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options);
void CheckDetectOptions(const DetectOptions& options);
int RunDetect(const DetectOptions& options);

struct BerOptions {
    std::vector<double> sigmas; // from --sigma, or from --snr once the channel is known
    std::vector<double> snrDbs; // --snr's points
    engine::BerSettings settings;
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
};
CLI::App* AddBerCommand(CLI::App& app, BerOptions& options);
void CheckBerOptions(BerOptions& options);
int RunBer(const BerOptions& options);

struct EyeOptions {
    engine::EyeSettings settings; // the blocks, uis, seed, threads (its chain from `channel`)
    choices::NoiseLevel noise{engine::EyeSettings{}.sigma};
    int width = choices::kEyeWidth;
    int height = choices::kEyeHeight;
    choices::ChannelChoice channel;
    std::string png;
};
CLI::App* AddEyeCommand(CLI::App& app, EyeOptions& options);
void CheckEyeOptions(const EyeOptions& options);
int RunEye(const EyeOptions& options);

struct TargetsOptions {
    engine::SurveySettings survey;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
};
CLI::App* AddTargetsCommand(CLI::App& app, TargetsOptions& options);
void CheckTargetsOptions(const TargetsOptions& options);
int RunTargets(const TargetsOptions& options);

// The soft detectors' ratios: llr gathers their statistics at one noise
// level, exit their transfer curves at one or several.
struct LlrOptions {
    engine::SoftSettings
        settings; // bits, frame, seed, threads (chain and detectors from `channel`)
    choices::NoiseLevel noise{engine::SoftSettings{}.sigma};
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
};
CLI::App* AddLlrCommand(CLI::App& app, LlrOptions& options);
void CheckLlrOptions(const LlrOptions& options);
int RunLlr(const LlrOptions& options);

struct ExitOptions {
    engine::SoftSettings settings;
    std::vector<double> sigmas, snrDbs;
    int points = 11;
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
};
CLI::App* AddExitCommand(CLI::App& app, ExitOptions& options);
void CheckExitOptions(ExitOptions& options);
int RunExit(const ExitOptions& options);

// The LDPC codes: the built-in ones listed, or one code's report.
struct CodeOptions {
    bool given = false;
    codes::Code code;
    std::string alist; // --write-alist
};
CLI::App* AddCodeCommand(CLI::App& app, CodeOptions& options);
void CheckCodeOptions(const CodeOptions& options);
int RunCode(const CodeOptions& options);

// Sectors: the iterative LDPC channel's failure rate against the classical
// one's at the same user density.
struct SfrOptions {
    engine::SectorSettings settings; // its chain and detector from `channel`
    std::string code = "sector512";
    bool messagesGiven = false; // --messages named: checked against the decoder
    std::vector<double> sigmas, snrDbs;
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
};
CLI::App* AddSfrCommand(CLI::App& app, SfrOptions& options);
void CheckSfrOptions(SfrOptions& options);
int RunSfr(SfrOptions& options);

// A frame through the sampling clock and the timing loop, or the loop's
// phase error and error rate against its bandwidth.
struct TimingOptions {
    choices::NoiseLevel noise;
    std::uint64_t bits = 0; // 0: the default of the run (a frame, or a sweep's point)
    int frame = 4096;
    std::uint64_t seed = 1;
    int threads = 1;
    std::vector<double> bandwidths; // --loop-bandwidth: one, or a range to sweep
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
    CLI::App* command = nullptr;
};
CLI::App* AddTimingCommand(CLI::App& app, TimingOptions& options);
void CheckTimingOptions(TimingOptions& options);
int RunTiming(const TimingOptions& options);

// Where a constraint code pays: every code at the same user densities and
// SNR as the uncoded channel.
struct ConstraintsOptions {
    engine::BerSettings settings;
    choices::NoiseLevel noise;
    std::vector<double> densities; // on a head
    choices::ChannelChoice channel;
    std::string csv;
    std::string png;
    int width = choices::kChartWidth;
    int height = choices::kChartHeight;
    CLI::App* command = nullptr;
};
CLI::App* AddConstraintsCommand(CLI::App& app, ConstraintsOptions& options);
void CheckConstraintsOptions(ConstraintsOptions& options);
int RunConstraints(const ConstraintsOptions& options);

} // namespace lab
