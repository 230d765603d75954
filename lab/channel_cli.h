#pragma once
// The channel's options on the command line: every row of the channel
// option table (choices/channel.h) that a command takes, parsed by its own
// parser into one ChannelChoice.
#include <CLI/CLI.hpp>
#include <initializer_list>

#include "choices/channel.h"

namespace lab {

// The rows that `command` (a choices::Command bit) takes; with
// `severalTargets`, --target may be given again or hold a list of names;
// `except`: flags the command adds in a form of its own, or not at all.
void AddChannelOptions(CLI::App& app, choices::ChannelChoice& choice, unsigned command,
                       bool severalTargets, std::initializer_list<const char*> except = {});
// What the parser cannot see by itself (choices::CheckChannel). Throws
// CLI::ValidationError.
void CheckChannelOptions(const choices::ChannelChoice& choice);

} // namespace lab
