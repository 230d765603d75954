// `quorvane-lab detect`: the window's own blocks through noise and both
// detectors, run by run.
#include "channel/coding.h"
#include "channel/noise.h"
#include "channel/random.h"
#include "channel/slicer.h"
#include "channel/viterbi.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/options.h"
#include "console/output_file.h"
#include "console/progress.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace lab {
namespace {

using Bits = std::uint8_t[channel::kBits];

std::string Strip(const Bits& bits) {
    std::string text(channel::kBits, '0');
    for (int k = 0; k < channel::kBits; ++k) text[k] = static_cast<char>('0' + bits[k]);
    return text;
}

int Differences(const Bits& a, const Bits& b) {
    int n = 0;
    for (int k = 0; k < channel::kBits; ++k) n += a[k] != b[k];
    return n;
}

} // namespace

CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options) {
    CLI::App* cmd =
        app.add_subcommand("detect", "the window's blocks through noise and both detectors");
    cmd->footer("Runs the window's own 40-bit blocks (seed 1, the same sequence as its presses)\n"
                "through noise and both detectors. One line per run: the raw bits, the slicer's\n"
                "bits and errors, the Viterbi detector's bits and errors; then the totals.\n"
                "Ctrl-C stops, prints and writes the runs finished so far and exits with 130.\n"
                "See quorvane-lab --help for the model.");
    AddCount(*cmd, "--runs", options.runs, 1, kMaxRuns, "blocks to run (default 1)");
    AddNoiseLevel(*cmd, options.sigma, "noise deviation in levels (default 0.3)");
    AddCount(*cmd, "--seed", options.seed, 0, UINT64_MAX,
             "seed of the noise generator (default 1); the blocks are always the window's");
    cmd->add_option("--csv", options.csv,
                    "also write run,k,raw,samp,received,slicer,viterbi, one row per bit "
                    "(\"-\" = standard output, which then gets only the CSV)")
        ->type_name("FILE");
    return cmd;
}

int RunDetect(const DetectOptions& options) {
    console::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    const bool table = options.csv.empty() || !csv.IsStdout();
    if (csv.get() != nullptr) std::fputs("run,k,raw,samp,received,slicer,viterbi\n", csv.get());
    CatchInterrupt();

    if (table) {
        std::printf("sigma %g (SNR %.2f dB), noise seed %llu; per run: raw bits, slicer bits "
                    "and errors, Viterbi bits and errors\n",
                    options.sigma, SnrDb(options.sigma),
                    static_cast<unsigned long long>(options.seed));
    }
    const int width = static_cast<int>(std::to_string(options.runs).size());
    channel::SeedRandom(1); // the window's start-up, so run n is its n-th press
    channel::NoiseSource noise(options.seed, 0);
    channel::Viterbi viterbi;
    // Rows going to the same terminal already show how far it got, and a
    // status line between them would only garble them.
    const bool rowsOnTerminal = table && isatty(STDOUT_FILENO) == 1;
    console::Progress progress("runs");
    std::uint64_t runs = 0, slicerErrors = 0, viterbiErrors = 0;
    while (runs < options.runs && !Interrupted()) {
        channel::GenerateBlock();
        Bits raw, sliced, detected;
        std::int8_t samp[channel::kBits];
        float received[channel::kBits];
        for (int k = 0; k < channel::kBits; ++k) {
            raw[k] = static_cast<std::uint8_t>(channel::rawData[k]);
            samp[k] = static_cast<std::int8_t>(channel::sampData[k]);
        }
        noise.AddNoise(samp, received, channel::kBits, options.sigma);
        channel::SliceFrame(received, channel::kBits, sliced);
        viterbi.Detect(received, channel::kBits, detected);
        ++runs;
        const int s = Differences(raw, sliced), v = Differences(raw, detected);
        slicerErrors += s;
        viterbiErrors += v;
        if (table) {
            std::printf("run %*llu  raw %s  slicer %s %2d  viterbi %s %2d\n", width,
                        static_cast<unsigned long long>(runs), Strip(raw).c_str(),
                        Strip(sliced).c_str(), s, Strip(detected).c_str(), v);
        }
        for (int k = 0; csv.get() != nullptr && k < channel::kBits; ++k) {
            std::fprintf(csv.get(), "%llu,%d,%d,%d,%.9g,%d,%d\n",
                         static_cast<unsigned long long>(runs), k, raw[k], samp[k],
                         static_cast<double>(received[k]), sliced[k], detected[k]);
        }
        if (!rowsOnTerminal) progress.Update(runs, options.runs);
    }
    progress.Finish();

    const double bits = runs > 0 ? static_cast<double>(runs) * channel::kBits : 1.0;
    if (table) {
        std::printf("%llu bits: slicer %llu errors (%.3g), viterbi %llu errors (%.3g)\n",
                    static_cast<unsigned long long>(runs) * channel::kBits,
                    static_cast<unsigned long long>(slicerErrors), slicerErrors / bits,
                    static_cast<unsigned long long>(viterbiErrors), viterbiErrors / bits);
    }
    if (csv.get() != nullptr && !(csv.Finish() && csv.Commit()))
        return FileError(options.csv, csv.error());
    if (Interrupted())
        std::fprintf(stderr, "quorvane-lab: stopped by Ctrl-C after %llu runs\n",
                     static_cast<unsigned long long>(runs));
    return FinishStdout(Interrupted() ? kExitInterrupted : 0);
}

} // namespace lab
