#pragma once
// The lab's command-line conventions: limits, exit statuses, the parsers of
// its values (each returns an empty string or one line naming the problem),
// and the CLI11 glue that checks a value while it is parsed.
#include <CLI/CLI.hpp>
#include <cstdint>

#include "channel/target.h"
#include <functional>
#include <string>
#include <vector>

namespace lab {

inline constexpr int kExitFile = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130; // 128 + SIGINT, as a shell reports it
inline constexpr int kExitTerminated = 143;  // 128 + SIGTERM

inline constexpr std::uint64_t kMaxRuns = 10'000'000;
inline constexpr std::uint64_t kMaxBits = 10'000'000'000'000;
inline constexpr std::uint64_t kMaxErrors = kMaxBits;
inline constexpr std::uint64_t kMaxFrame = 1 << 20;
inline constexpr std::uint64_t kMaxThreads = 256;
inline constexpr std::size_t kMaxPoints = 1000;
inline constexpr double kMaxSigma = 100;
inline constexpr double kMinSnrDb = -20;
inline constexpr double kMaxSnrDb = 100;

// Worker threads when none are asked for: every core, at most kMaxThreads.
int DefaultThreads();

// A whole number lo ... hi; "1e7" is accepted for 10000000.
std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi,
                       std::uint64_t& value);
std::string ParseSigma(const std::string& text, double& sigma);
std::string ParsePositive(const std::string& text, double& value); // a finite number > 0
std::string ParseSigmaList(const std::string& text, std::vector<double>& sigmas); // S[,S...]
std::string ParseSnr(const std::string& text, double& db);
std::string ParseSnrRange(const std::string& text, std::vector<double>& dbs); // DB or FROM:TO:STEP
std::string ParseSnrList(const std::string& text, std::vector<double>& dbs);  // DB[,DB...]
// zero (true: the target's memory of zero precoder bits after each frame) or none.
std::string ParseTail(const std::string& text, bool& tail);
// A picture size WxH, each side kMinPicture ... kMaxPicture pixels.
inline constexpr int kMinPicture = 64;
inline constexpr int kMaxPicture = 4096;
std::string ParseSize(const std::string& text, int& width, int& height);

// A number within lo ... hi, e.g. a density or a jitter.
std::string ParseNumberIn(const std::string& text, double lo, double hi, double& value);
// Densities as D or FROM:TO:STEP, each within lo ... hi.
std::string ParseDensities(const std::string& text, double lo, double hi,
                           std::vector<double>& values);
// An odd whole number of equalizer taps within lo ... hi.
std::string ParseTaps(const std::string& text, int lo, int hi, int& taps);
// Names from `allowed`, comma-separated, each at most once, in the order given.
std::string ParseChoices(const std::string& text, const std::vector<std::string>& allowed,
                         const char* what, std::vector<std::string>& chosen);

// A target as the lab's options give it: named, a coefficient list, or gprL
// (a target of L + 1 taps designed with the equalizer, gpr = L).
struct TargetChoice {
    channel::Target target;
    int gpr = 0;
};
// One target, or with `several` a comma-separated list of names and gprL
// (a text of numbers and commas is always one coefficient list).
std::string ParseTargets(const std::string& text, bool several, std::vector<TargetChoice>& targets);

// The error-event search grows quickly with both limits; these keep it to
// seconds. A reach of 0 becomes the default, twice the target's d2min; one
// beyond kMaxEventReach times d2min gets the line that says so.
inline constexpr double kMaxEventReach = 5;
inline constexpr std::uint64_t kMaxEventLen = 24;
std::string CheckEventReach(const channel::Target& target, double& maxD2);

// An option whose text `take` checks and stores; a non-empty answer from
// `take` fails the parse with that line.
CLI::Option* AddChecked(CLI::App& app, const std::string& name, const std::string& description,
                        std::function<std::string(const std::string&)> take);
CLI::Option* AddCount(CLI::App& app, const std::string& name, std::uint64_t& value,
                      std::uint64_t lo, std::uint64_t hi, const std::string& description);
CLI::Option* AddCount(CLI::App& app, const std::string& name, int& value, std::uint64_t lo,
                      std::uint64_t hi, const std::string& description);
// The noise of one run as --sigma S or --snr DB, never both. An SNR is quoted
// against the target's energy, which is known only once the whole command
// line is read: Sigma() resolves it then.
struct NoiseLevel {
    double sigma = 0;
    double snrDb = 0;
    bool bySnr = false;
    double Sigma(double energy) const; // the energy SNR is quoted against
};
void AddNoiseLevel(CLI::App& app, NoiseLevel& level, const std::string& sigmaDescription);

// --target NAME|LIST, E3PR4 unless given.
CLI::Option* AddTarget(CLI::App& app, channel::Target& target);
// --size WxH, "the picture's size in pixels (default DEFAULT)".
CLI::Option* AddPictureSize(CLI::App& app, int& width, int& height, const std::string& fallback);
// A chart needs at least kMinChart pixels each way; checked when there is
// a --png. Throws CLI::ValidationError.
inline constexpr int kMinChart = 240;
void CheckChartSize(const std::string& png, int width, int height);

// --tail zero|none: whether the channel writes the target's memory of zero
// precoder bits after each frame (true) or the frame just stops.
CLI::Option* AddTail(CLI::App& app, bool& tail);

// One line "quorvane-lab: cannot write NAME: WHY" on standard error; returns kExitFile.
int FileError(const std::string& name, const std::string& why);
// Flushes standard output; on a write error reports it and returns kExitFile, else `status`.
int FinishStdout(int status);

} // namespace lab
