// `quorvane-lab events`: the target's error events, found by search.
#include "channel/events.h"
#include "choices/targets.h"
#include "lab/commands.h"

#include <cstdio>

namespace lab {

CLI::App* AddEventsCommand(CLI::App& app, EventsOptions& options) {
    CLI::App* cmd = app.add_subcommand("events", "the target's error events, found by search");
    cmd->footer("Writes CSV on standard output: d2,event,raw_bit_errors. An event is the\n"
                "difference of two precoder sequences, written with + - 0 and its first\n"
                "nonzero +; d2 is its squared distance at the detector, raw_bit_errors the\n"
                "raw-bit errors the inverse precoder makes of it. Ordered by d2, then length.\n"
                "On E3PR4 the alternating events of every length from 5 up have d2 = 20, so\n"
                "the list needs the --max-len cap. See quorvane-lab --help for the model.");
    AddTarget(*cmd, options.target);
    AddChecked(
        *cmd, "--max-d2",
        "the largest squared distance listed (default: twice the target's d2min, 24 "
        "on E3PR4; at most five times it)",
        [&options](const std::string& text) { return choices::ParsePositive(text, options.maxD2); })
        ->type_name("D");
    AddCount(*cmd, "--max-len", options.maxLen, 1, choices::kMaxEventLen,
             "the longest event listed, in bits (default 16)");
    return cmd;
}

void CheckEventsOptions(EventsOptions& options) {
    if (std::string error = choices::CheckEventReach(options.target, options.maxD2); !error.empty())
        throw CLI::ValidationError("--max-d2", error);
}

int RunEvents(const EventsOptions& options) {
    const std::vector<channel::ErrorEvent> events =
        channel::FindErrorEvents(options.target, options.maxD2, options.maxLen);
    std::fputs("d2,event,raw_bit_errors\n", stdout);
    for (const channel::ErrorEvent& event : events) {
        std::fprintf(stdout, "%s,%s,%d\n", channel::DistanceText(event.d2).c_str(),
                     channel::EventText(event).c_str(), event.rawBitErrors);
    }
    return FinishStdout(0);
}

} // namespace lab
