// `quorvane-lab detect`: the window's own blocks through noise and the
// detectors, run by run.
#include "channel/bounds.h"
#include "channel/coding.h"
#include "choices/channel.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/constraint_survey.h"
#include "engine/window_blocks.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace lab {
namespace {

std::string Strip(const std::vector<std::uint8_t>& bits) {
    std::string text(bits.size(), '0');
    for (std::size_t k = 0; k < bits.size(); ++k) text[k] = static_cast<char>('0' + bits[k]);
    return text;
}

// The detectors' names, "slicer, viterbi, npml, ...".
std::string Joined() {
    std::string names;
    for (const detectors::Row& r : detectors::Table())
        names += std::string(names.empty() ? "" : ", ") + r.name;
    return names;
}

std::string Sample(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

} // namespace

CLI::App* AddDetectCommand(CLI::App& app, DetectOptions& options) {
    CLI::App* cmd =
        app.add_subcommand("detect", "the window's blocks through noise and the detectors");
    cmd->footer("Runs the window's own 40-bit blocks (seed 1, the same sequence as its presses)\n"
                "through the target's precoder and levels, noise and every detector that\n"
                "applies. One line per run: the raw bits, then each detector's bits and errors;\n"
                "then the totals. --csv writes every sample, the tail's too (rows with empty\n"
                "raw and decision columns), so a run can be decided again from the file alone.\n"
                "--constraint C codes the block's user bits (whole words of the 40) into its raw\n"
                "bits, decided on the code's trellis; each run then shows the user bits and\n"
                "each detector's bits through the code's decoder with their errors, and the\n"
                "CSV gains user and <name>_user (user bit k on row k, empty past them).\n"
                "Ctrl-C stops, prints and writes the runs finished so far and exits with 130.\n"
                "See quorvane-lab --help for the model.");
    AddCount(*cmd, "--runs", options.runs, 1, choices::kMaxRuns, "blocks to run (default 1)");
    AddNoiseLevel(*cmd, options.noise,
                  "noise deviation in levels (default " +
                      choices::Number("%g", options.noise.sigma) + ")");
    AddCount(*cmd, "--seed", options.seed, 0, UINT64_MAX,
             "seed of the noise generator (default " + std::to_string(options.seed) +
                 "); the blocks are always the window's");
    AddChannelOptions(*cmd, options.channel, choices::kDetect, false);
    cmd->add_option("--csv", options.csv,
                    "also write run,k,raw,samp,received and one column per detector that ran (" +
                        Joined() +
                        "), one row per sample: samp is the target's ideal level, "
                        "received what the detectors see (on a head, the equalizer's output) "
                        "(\"-\" = standard output, which then gets only the CSV)")
        ->type_name("FILE");
    return cmd;
}

void CheckDetectOptions(const DetectOptions& options) {
    CheckChannelOptions(options.channel);
}

int RunDetect(const DetectOptions& options) {
    console::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    engine::BlockSettings settings;
    settings.chain = choices::ChainFor(options.channel, 0);
    settings.sigma = options.noise.Sigma(engine::SignalEnergy(settings.chain));
    settings.seed = options.seed;
    settings.detectors = choices::NamedDetectors(options.channel);
    engine::WindowBlocks blocks(settings);
    const channel::Target& target = blocks.design().target;
    const std::vector<detectors::Kind>& kinds = blocks.Detectors();
    const std::size_t count = kinds.size();
    const bool coded = !blocks.Code().IsNone();

    const bool table = options.csv.empty() || !csv.IsStdout();
    if (csv.get() != nullptr) {
        std::string header = "run,k,raw,samp,received";
        // A soft detector's ratios right after its decisions.
        for (detectors::Kind kind : kinds) {
            header += std::string(",") + KindName(kind);
            if (detectors::RowOf(kind).soft) header += std::string(",") + KindName(kind) + "_llr";
        }
        // Under a code the user bits after today's columns.
        if (coded) {
            header += ",user";
            for (detectors::Kind kind : kinds)
                header += std::string(",") + KindName(kind) + "_user";
        }
        std::fprintf(csv.get(), "%s\n", header.c_str());
    }
    CatchInterrupt();

    if (table) {
        std::string per;
        for (detectors::Kind kind : kinds)
            per += std::string(", ") + detectors::KindTitle(kind) + " bits and errors";
        std::printf("target %s, %s, sigma %g (SNR %.2f dB), noise seed %llu, %s; per run: raw "
                    "bits%s\n",
                    settings.chain.TargetName().c_str(),
                    choices::ChannelText(settings.chain).c_str(), settings.sigma,
                    channel::SnrDb(engine::SignalEnergy(settings.chain), settings.sigma),
                    static_cast<unsigned long long>(options.seed),
                    settings.chain.tail ? "zero tail" : "no tail", per.c_str());
        if (coded)
            std::printf("constraint %s: %d user bits a block coded in %d raw bits, through the "
                        "NRZI precoder%s; per run also the user bits and each detector's bits "
                        "after the code's decoder\n",
                        blocks.Code().row().name,
                        engine::CodedFrame(settings.bits, settings.chain.constraint) /
                            blocks.Code().CodeBits() * blocks.Code().UserBits(),
                        engine::CodedFrame(settings.bits, settings.chain.constraint),
                        settings.chain.Recording() ? " at the channel density D / R" : "");
        const engine::ChannelDesign& design = blocks.design();
        for (detectors::Kind kind : kinds)
            if (detectors::RowOf(kind).soft) {
                std::printf("%s\n", choices::SoftNoiseText(design.DetectorNoise().front(),
                                                           design.predictionVariance,
                                                           settings.chain.Recording())
                                        .c_str());
                break;
            }
        if (settings.chain.gpr > 0)
            std::printf("%s designed: %s\n", settings.chain.TargetName().c_str(),
                        target.CoefficientText().c_str());
        if (options.channel.detectors.empty()) {
            // npml is no loss on the ideal channel, where the noise is white.
            for (const detectors::Row& row : detectors::Table())
                if (std::string why = coded && !choices::ConstraintWhyNot(row.kind).empty()
                                          ? choices::ConstraintWhyNot(row.kind)
                                          : row.whyNot(engine::WhereOf(blocks.design()));
                    row.byDefault && !why.empty() &&
                    (row.kind != detectors::Kind::kNpml || settings.chain.Recording()))
                    std::printf("no %s: %s\n", row.name, why.c_str());
        }
    }
    const int width = static_cast<int>(std::to_string(options.runs).size());
    // Rows going to the same terminal already show how far it got, and a
    // status line between them would only garble them.
    const bool rowsOnTerminal = table && isatty(STDOUT_FILENO) == 1;
    console::Progress progress("runs");
    std::uint64_t runs = 0;
    std::vector<std::uint64_t> errors(count, 0), userErrors(count, 0);
    std::uint64_t rawBits = 0, userBits = 0;
    while (runs < options.runs && !Interrupted()) {
        const engine::BlockResult& r = blocks.Next();
        ++runs;
        rawBits += r.frame.raw.size();
        userBits += r.user.size();
        for (std::size_t d = 0; d < count; ++d) {
            errors[d] += static_cast<std::uint64_t>(r.errors[d]);
            if (coded) userErrors[d] += static_cast<std::uint64_t>(r.userErrors[d]);
        }
        if (table) {
            std::string line = "raw " + Strip(r.frame.raw);
            for (std::size_t d = 0; d < count; ++d) {
                char tail[16];
                std::snprintf(tail, sizeof tail, " %2d", r.errors[d]);
                line += std::string("  ") + KindName(kinds[d]) + " " + Strip(r.decided[d]) + tail;
            }
            if (coded) {
                line += "  user " + Strip(r.user);
                for (std::size_t d = 0; d < count; ++d) {
                    char tail[16];
                    std::snprintf(tail, sizeof tail, " %2d", r.userErrors[d]);
                    line += std::string("  ") + KindName(kinds[d]) + "_user " +
                            Strip(r.decoded[d]) + tail;
                }
            }
            std::printf("run %*llu  %s\n", width, static_cast<unsigned long long>(runs),
                        line.c_str());
        }
        const std::size_t samples = r.frame.received.size();
        for (std::size_t k = 0; csv.get() != nullptr && k < samples; ++k) {
            const bool bit = k < r.frame.raw.size();
            std::string row = std::to_string(runs) + "," + std::to_string(k) + "," +
                              (bit ? std::to_string(r.frame.raw[k]) : "") + "," +
                              Sample(r.frame.clean[k]) + "," + Sample(r.frame.received[k]);
            for (std::size_t d = 0; d < count; ++d) {
                row += ',';
                if (bit) row += static_cast<char>('0' + r.decided[d][k]);
                if (r.llr[d].empty()) continue;
                row += ',';
                if (bit) row += Sample(r.llr[d][k]);
            }
            if (coded) {
                const bool user = k < r.user.size();
                row += ',';
                if (user) row += static_cast<char>('0' + r.user[k]);
                for (std::size_t d = 0; d < count; ++d) {
                    row += ',';
                    if (user) row += static_cast<char>('0' + r.decoded[d][k]);
                }
            }
            std::fprintf(csv.get(), "%s\n", row.c_str());
        }
        if (!rowsOnTerminal) progress.Update(runs, options.runs);
    }
    progress.Finish();

    if (table) {
        // Each detector's errors among `bits` bits, as ", viterbi 3 errors (0.01)".
        const auto counts = [&](const std::vector<std::uint64_t>& wrong, std::uint64_t bits) {
            const double over = runs > 0 ? static_cast<double>(bits) : 1.0;
            std::string out;
            for (std::size_t d = 0; d < count; ++d) {
                char part[96];
                std::snprintf(part, sizeof part, "%s %s %llu errors (%.3g)", d == 0 ? "" : ",",
                              KindName(kinds[d]), static_cast<unsigned long long>(wrong[d]),
                              wrong[d] / over);
                out += part;
            }
            return out;
        };
        std::string line =
            std::to_string(rawBits) + (coded ? " coded bits:" : " bits:") + counts(errors, rawBits);
        if (coded)
            line += "; " + std::to_string(userBits) + " user bits after the " +
                    blocks.Code().row().name + " decoder:" + counts(userErrors, userBits);
        std::printf("%s\n", line.c_str());
    }
    if (csv.get() != nullptr && !(csv.Finish() && csv.Commit()))
        return FileError(options.csv, csv.error());
    if (Interrupted())
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %llu runs\n", InterruptName(),
                     static_cast<unsigned long long>(runs));
    return FinishStdout(Interrupted() ? InterruptStatus() : 0);
}

} // namespace lab
