#pragma once
// The channel's options on the command line: every row of the channel
// option table (choices/channel.h) that a command takes, parsed by its own
// parser into one ChannelChoice.
#include <CLI/CLI.hpp>

#include "choices/channel.h"

namespace lab {

// The rows that `command` (a choices::Command bit) takes; with
// `severalTargets`, --target may be given again or hold a list of names;
// `except`: a flag the command adds in a form of its own.
void AddChannelOptions(CLI::App& app, choices::ChannelChoice& choice, unsigned command,
                       bool severalTargets, const char* except = nullptr);
// What the parser cannot see by itself (choices::CheckChannel). Throws
// CLI::ValidationError.
void CheckChannelOptions(const choices::ChannelChoice& choice);

} // namespace lab
