#pragma once
// The lab's command-line glue: exit statuses, and the CLI11 options that
// check a value while it is parsed, through the choices' parsers
// (choices/values.h), so that a refusal is the same line as the lab window's
// and the Python module's.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>

#include "channel/target.h"
#include "choices/values.h"

namespace lab {

inline constexpr int kExitFile = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130; // 128 + SIGINT, as a shell reports it
inline constexpr int kExitTerminated = 143;  // 128 + SIGTERM

// An option whose text `take` checks and stores; a non-empty answer from
// `take` fails the parse with that line.
CLI::Option* AddChecked(CLI::App& app, const std::string& name, const std::string& description,
                        std::function<std::string(const std::string&)> take);
CLI::Option* AddCount(CLI::App& app, const std::string& name, std::uint64_t& value,
                      std::uint64_t lo, std::uint64_t hi, const std::string& description);
CLI::Option* AddCount(CLI::App& app, const std::string& name, int& value, std::uint64_t lo,
                      std::uint64_t hi, const std::string& description);
// The noise of one run as --sigma S or --snr DB, never both (its SNR is
// resolved once the channel is known: NoiseLevel::Sigma).
void AddNoiseLevel(CLI::App& app, choices::NoiseLevel& level, const std::string& sigmaDescription);

// --target NAME|LIST, E3PR4 unless given.
CLI::Option* AddTarget(CLI::App& app, channel::Target& target);
// --size WxH, "the picture's size in pixels (default DEFAULT)".
CLI::Option* AddPictureSize(CLI::App& app, int& width, int& height, const std::string& fallback);
// A chart needs at least choices::kMinChart pixels each way; checked when
// there is a --png. Throws CLI::ValidationError.
void CheckChartSize(const std::string& png, int width, int height);

// One line "quorvane-lab: cannot write NAME: WHY" on standard error; returns kExitFile.
int FileError(const std::string& name, const std::string& why);
// Flushes standard output; on a write error reports it and returns kExitFile, else `status`.
int FinishStdout(int status);

} // namespace lab
