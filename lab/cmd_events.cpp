// `quorvane-lab events`: the target's error events, found by search.
#include "channel/constrained_events.h"
#include "channel/events.h"
#include "choices/targets.h"
#include "choices/values.h"
#include "lab/commands.h"

#include <cmath>
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
    AddChecked(*cmd, "--constraint",
               "only the events two sequences of a constraint code's runs make (" +
                   channel::ConstraintNames() +
                   "), the precoder NRZI; standard error then tells d2min without and with it, "
                   "and the distance gain in dB (the default --max-d2 twice the constrained "
                   "d2min)",
               [&options](const std::string& text) {
                   return choices::ParseConstraint(text, options.constraint);
               });
    return cmd;
}

void CheckEventsOptions(EventsOptions& options) {
    if (options.constraint != channel::ConstraintKind::kNone && options.maxD2 == 0)
        options.maxD2 =
            2 * channel::ConstrainedMinimumDistance(options.target.WithNrzi(),
                                                    channel::ConstraintOf(options.constraint),
                                                    channel::kMinDistanceMaxLen);
    if (std::string error = choices::CheckEventReach(options.target, options.maxD2); !error.empty())
        throw CLI::ValidationError("--max-d2", error);
}

int RunEvents(const EventsOptions& options) {
    const bool coded = options.constraint != channel::ConstraintKind::kNone;
    const channel::ConstraintRow& row = channel::ConstraintOf(options.constraint);
    const channel::Target nrzi = options.target.WithNrzi();
    const std::vector<channel::ErrorEvent> events =
        coded ? channel::FindConstrainedEvents(nrzi, row, options.maxD2, options.maxLen)
              : channel::FindErrorEvents(options.target, options.maxD2, options.maxLen);
    if (coded) {
        const double before = options.target.D2Min();
        const double after =
            channel::ConstrainedMinimumDistance(nrzi, row, channel::kMinDistanceMaxLen);
        const double rate = channel::ConstraintCode::Of(options.constraint).Rate();
        std::fprintf(stderr,
                     "%s on %s: d2min %s without the code, %s with it: a distance gain of %.2f "
                     "dB, %.2f dB net of the rate %d/%d on the ideal channel\n",
                     row.name, options.target.Name().c_str(), channel::DistanceText(before).c_str(),
                     channel::DistanceText(after).c_str(), 10 * std::log10(after / before),
                     10 * std::log10(after / before * rate), row.userBits, row.codeBits);
    }
    std::fputs("d2,event,raw_bit_errors\n", stdout);
    for (const channel::ErrorEvent& event : events) {
        std::fprintf(stdout, "%s,%s,%d\n", channel::DistanceText(event.d2).c_str(),
                     channel::EventText(event).c_str(), event.rawBitErrors);
    }
    return FinishStdout(0);
}

} // namespace lab
