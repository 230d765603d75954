// quorvane-lab: the read channel's data coming back out. Noise, a slicer and
// a Viterbi detector, their error events and their error rates, on the
// command line.
#include "lab/commands.h"
#include "lab/options.h"
#include "console/output_file.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

namespace {

const char* const kSummary =
    "quorvane-lab: recover the data of the E3PR4 read channel from noisy samples with a\n"
    "symbol-by-symbol slicer and a 32-state Viterbi detector; list the detector's error\n"
    "events, measure both detectors' bit-error rates and draw them, and draw the eye\n"
    "diagram of the readback waveform.";

const char* const kModel =
    R"(Run quorvane-lab COMMAND --help for what a command does, its options and defaults.

The model:
  data     Frames of random raw bits, each from an all-zero history like the window's
           40-bit blocks, through the precoder 1/(1 + D + D^4 + D^5) over GF(2) and the
           E3PR4 target 1 + 3D + 2D^2 - 2D^3 - 3D^4 - D^5 on the precoder output. The
           ideal samples are the levels -6 ... +6.
  noise    White Gaussian, deviation sigma per sample, in level units. SNR is quoted as
           10 log10(28 / sigma^2) dB, 28 being the sum of the squared target
           coefficients; sigma is always printed beside it.
  slicer   The nearest level, clamped to -6 ... +6; raw bit = level mod 2. The precoder
           is the target taken mod 2, so a noise-free sample's parity is its raw bit and
           a wrong level costs one bit, with no error propagation.
  viterbi  32 states (the last five precoder bits), branch metric (y - ideal)^2, start in
           the zero state, end in the best state: the maximum-likelihood sequence of the
           whole frame. Then the inverse precoder r = p ^ p[-1] ^ p[-4] ^ p[-5]. Its
           nearest error event, +-+ on the precoder bits, has d^2 = 12 against the
           slicer's level spacing 1: about 10.8 dB better at high SNR. The last few
           bits of a frame are decided without the samples that would follow them, so
           at high SNR they make most of the errors of short frames (the window's 40
           bits, or 4096 at 24 dB); the union bound counts only whole events, and a
           longer --frame brings the measured rate down to it.
  errors   Counted on the raw bits, the data a user stored.
  repeats  The same seed gives the same counts for any number of threads: the work is
           cut into fixed chunks, each with its own random stream derived from the seed
           and the chunk number.

Exit status: 0 done, 1 a file could not be written, 2 a bad command line, 130 stopped
by Ctrl-C (what was finished is still printed and written; no partial file is left).
A file name "-" means standard output.)";

} // namespace

int main(int argc, char** argv) {
    CLI::App app{kSummary, "quorvane-lab"};
    app.set_version_flag("--version", std::string("quorvane-lab ") + QUORVANE_VERSION);
    app.require_subcommand(1);
    app.footer(kModel);

    lab::EventsOptions events;
    lab::DetectOptions detect;
    lab::BerOptions ber;
    lab::EyeOptions eye;
    CLI::App* eventsCommand = lab::AddEventsCommand(app, events);
    CLI::App* detectCommand = lab::AddDetectCommand(app, detect);
    CLI::App* berCommand = lab::AddBerCommand(app, ber);
    CLI::App* eyeCommand = lab::AddEyeCommand(app, eye);

    try {
        // A word that is neither an option nor a command would otherwise be
        // reported as a missing command.
        const std::string first = argc > 1 ? argv[1] : "-";
        if (first[0] != '-' && first != "events" && first != "detect" && first != "ber" &&
            first != "eye")
            throw CLI::ExtrasError("unknown command '" + first +
                                       "'; the commands are events, "
                                       "detect, ber and eye",
                                   CLI::ExitCodes::ExtrasError);
        app.parse(argc, argv);
        if (*berCommand) lab::CheckBerOptions(ber);
        if (*eyeCommand) lab::CheckEyeOptions(eye);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e); // --help, --version
        std::string line = e.what();
        for (char& c : line) {
            if (c == '\n') c = ' ';
        }
        std::fprintf(stderr, "quorvane-lab: %s (see --help)\n", line.c_str());
        return lab::kExitUsage;
    }

    console::InstallCleanupHandlers();
    if (*eventsCommand) return lab::RunEvents(events);
    if (*detectCommand) return lab::RunDetect(detect);
    if (*eyeCommand) return lab::RunEye(eye);
    return lab::RunBer(ber);
}
