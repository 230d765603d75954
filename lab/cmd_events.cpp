// `quorvane-lab events`: the target's error events, found by search.
#include "channel/events.h"
#include "lab/commands.h"
#include "lab/options.h"

#include <cstdio>

namespace lab {

// The search grows quickly with both limits; these keep it to seconds.
constexpr std::uint64_t kMaxEventD2 = 60;
constexpr std::uint64_t kMaxEventLen = 24;

CLI::App* AddEventsCommand(CLI::App& app, EventsOptions& options) {
    CLI::App* cmd = app.add_subcommand("events", "the target's error events, found by search");
    cmd->footer("Writes CSV on standard output: d2,event,raw_bit_errors. An event is the\n"
                "difference of two precoder sequences, written with + - 0 and its first\n"
                "nonzero +; d2 is its squared distance at the detector, raw_bit_errors the\n"
                "raw-bit errors the inverse precoder makes of it. Ordered by d2, then length.\n"
                "The alternating events of every length from 5 up have d2 = 20, so the list\n"
                "needs the --max-len cap. See quorvane-lab --help for the model.");
    AddCount(*cmd, "--max-d2", options.maxD2, 1, kMaxEventD2,
             "the largest squared distance listed (default 24)");
    AddCount(*cmd, "--max-len", options.maxLen, 1, kMaxEventLen,
             "the longest event listed, in bits (default 16)");
    return cmd;
}

int RunEvents(const EventsOptions& options) {
    const std::vector<channel::ErrorEvent> events =
        channel::FindErrorEvents(options.maxD2, options.maxLen);
    std::fputs("d2,event,raw_bit_errors\n", stdout);
    for (const channel::ErrorEvent& event : events) {
        std::fprintf(stdout, "%d,%s,%d\n", event.d2, channel::EventText(event).c_str(),
                     event.rawBitErrors);
    }
    return FinishStdout(0);
}

} // namespace lab
