// `quorvane-lab ber`: both detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/events.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/options.h"
#include "platform/output_file.h"
#include "platform/progress.h"

#include <cstdio>
#include <string>
#include <thread>

namespace lab {
namespace {

int DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxThreads));
}

void PrintRow(const BerPoint& p) {
    std::printf("%8.2f  %8.4g  %14llu  %13llu  %10.4e  %14llu  %11.4e  %11.4e\n", p.snrDb, p.sigma,
                static_cast<unsigned long long>(p.bits),
                static_cast<unsigned long long>(p.slicerErrors), p.SlicerBer(),
                static_cast<unsigned long long>(p.viterbiErrors), p.ViterbiBer(), p.unionBound);
    std::fflush(stdout);
}

void WriteCsv(std::FILE* file, const std::vector<BerPoint>& points) {
    std::fputs("snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,viterbi_ber,"
               "union_bound\n",
               file);
    for (const BerPoint& p : points) {
        std::fprintf(file, "%.9g,%.9g,%llu,%llu,%.9g,%llu,%.9g,%.9g\n", p.snrDb, p.sigma,
                     static_cast<unsigned long long>(p.bits),
                     static_cast<unsigned long long>(p.slicerErrors), p.SlicerBer(),
                     static_cast<unsigned long long>(p.viterbiErrors), p.ViterbiBer(),
                     p.unionBound);
    }
}

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "both detectors' bit-error rates against the noise");
    cmd->footer("Measures both detectors' bit-error rates at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output. A point\n"
                "ends at --bits bits or once both detectors have --errors errors, whichever\n"
                "comes first. Progress shows on standard error when it is a terminal; Ctrl-C\n"
                "stops, prints and writes the points finished so far and exits with 130.\n"
                "See quorvane-lab --help for the model.");
    options.settings.threads = DefaultThreads();
    CLI::Option* sigma = AddChecked(*cmd, "--sigma", "noise deviations in levels, e.g. 0.3,0.4",
                                    [&options](const std::string& text) {
                                        options.snrDbs.clear();
                                        return ParseSigmaList(text, options.sigmas);
                                    })
                             ->type_name("S[,S...]");
    CLI::Option* snr = AddChecked(*cmd, "--snr", "SNR points in dB, e.g. 10:20:0.5",
                                  [&options](const std::string& text) {
                                      std::string error = ParseSnrRange(text, options.snrDbs);
                                      options.sigmas.clear();
                                      for (double db : options.snrDbs)
                                          options.sigmas.push_back(SigmaOfSnr(db));
                                      return error;
                                  })
                           ->type_name("FROM:TO:STEP");
    sigma->excludes(snr);
    AddCount(*cmd, "--bits", options.settings.bits, 1, kMaxBits,
             "bits per point at most, rounded up to whole frames (default 1e7)");
    AddCount(*cmd, "--errors", options.settings.errors, 1, kMaxErrors,
             "end a point once both detectors have this many errors (default 1000)");
    AddCount(*cmd, "--frame", options.settings.frame, 1, kMaxFrame,
             "bits per frame, each frame from an all-zero history (default 4096)");
    AddCount(*cmd, "--seed", options.settings.seed, 0, UINT64_MAX,
             "seed of the random bits and the noise (default 1)");
    AddCount(*cmd, "--threads", options.settings.threads, 1, kMaxThreads,
             "worker threads (default: all cores); the counts do not depend on it");
    cmd->add_option("--csv", options.csv,
                    "also write snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,"
                    "viterbi_ber,union_bound (\"-\" = standard output, which then gets only "
                    "the CSV)")
        ->type_name("FILE");
    return cmd;
}

void CheckBerOptions(const BerOptions& options) {
    if (options.sigmas.empty()) throw CLI::RequiredError("ber: --sigma or --snr");
}

int RunBer(const BerOptions& options) {
    platform::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    const bool table = options.csv.empty() || !csv.IsStdout();
    CatchInterrupt();

    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents();
    if (table) {
        std::printf("%8s  %8s  %14s  %13s  %10s  %14s  %11s  %11s\n", "SNR dB", "sigma", "bits",
                    "slicer errors", "slicer BER", "viterbi errors", "viterbi BER", "union bound");
    }
    std::vector<BerPoint> points;
    const int count = static_cast<int>(options.sigmas.size());
    for (int i = 0; i < count && !Interrupted(); ++i) {
        BerPoint p;
        p.sigma = options.sigmas[i];
        p.snrDb = options.snrDbs.empty() ? SnrDb(p.sigma) : options.snrDbs[i];
        // One status line per point, so its rate and time left are the point's.
        platform::Progress progress("bits");
        ErrorCounts counts;
        const bool done = RunPoint(
            options.settings, i, p.sigma, InterruptFlag(), counts, [&](const ErrorCounts& c) {
                char detail[128];
                std::snprintf(detail, sizeof detail,
                              "point %d/%d, errors %llu slicer, %llu viterbi, sigma %.4g", i + 1,
                              count, static_cast<unsigned long long>(c.slicerErrors),
                              static_cast<unsigned long long>(c.viterbiErrors), p.sigma);
                progress.Update(c.bits, options.settings.bits, detail);
            });
        if (!done) break;
        p.bits = counts.bits;
        p.slicerErrors = counts.slicerErrors;
        p.viterbiErrors = counts.viterbiErrors;
        p.unionBound = channel::UnionBound(events, p.sigma);
        points.push_back(p);
        progress.Finish();
        if (table) PrintRow(p);
    }

    if (csv.get() != nullptr) {
        WriteCsv(csv.get(), points);
        if (!(csv.Finish() && csv.Commit())) return FileError(options.csv, csv.error());
    }
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by Ctrl-C after %zu of %d points\n",
                     points.size(), count);
    }
    return FinishStdout(Interrupted() ? kExitInterrupted : 0);
}

} // namespace lab
