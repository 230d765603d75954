// `quorvane-lab ber`: both detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/events.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/options.h"
#include "console/output_file.h"
#include "platform/picture.h"
#include "console/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

namespace lab {
namespace {

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

std::string Number(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// Sigma values worth a label on the top axis: 1, 1.2, 1.5, 2, 2.5, 3, 4, 5,
// 6, 8 times a power of ten, at least a tenth of the axis apart.
void SigmaLabels(double fromDb, double toDb, platform::ChartTopAxis& top) {
    constexpr double kSteps[] = {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8};
    const double lo = SigmaOfSnr(toDb);
    const double hi = SigmaOfSnr(fromDb);
    double last = -1e9;
    // Descending sigma is ascending SNR.
    std::vector<std::pair<double, double>> marks; // (dB, sigma)
    for (int decade = static_cast<int>(std::floor(std::log10(hi))); decade >= -4; --decade) {
        for (int i = 9; i >= 0; --i) {
            const double sigma = kSteps[i] * std::pow(10.0, decade);
            if (sigma >= lo && sigma <= hi) marks.emplace_back(SnrDb(sigma), sigma);
        }
    }
    const double gap = (toDb - fromDb) / 10;
    for (const auto& [db, sigma] : marks) {
        if (db - last < gap) continue;
        last = db;
        top.at.push_back(db);
        top.labels.push_back(Number("%g", sigma));
    }
}

platform::ChartSeries Series(std::string name, platform::ChartSeries::Kind kind,
                             platform::Colour colour, bool dashed = false) {
    platform::ChartSeries series;
    series.name = std::move(name);
    series.kind = kind;
    series.colour = colour;
    series.dashed = dashed;
    return series;
}

// The points as a chart: the measured rates as markers, the slicer's exact
// rate and the Viterbi detector's union bound as lines.
platform::Chart BerChart(const BerOptions& options, const std::vector<BerPoint>& points,
                         const std::vector<channel::ErrorEvent>& events) {
    platform::Chart chart;
    chart.width = options.width;
    chart.height = options.height;
    chart.title =
        "Bit-error rate against SNR, frames of " + std::to_string(options.settings.frame) + " bits";

    double fromDb = 0, toDb = 0;
    if (!options.snrDbs.empty()) {
        fromDb = options.snrDbs.front();
        toDb = options.snrDbs.back();
    } else {
        fromDb = toDb = SnrDb(options.sigmas.front());
        for (double sigma : options.sigmas) {
            const double db = std::min(SnrDb(sigma), kMaxSnrDb);
            fromDb = std::min(fromDb, db);
            toDb = std::max(toDb, db);
        }
    }
    fromDb = std::floor(fromDb);
    toDb = std::ceil(toDb);
    if (toDb - fromDb < 2) {
        fromDb -= 1;
        toDb += 1;
    }
    int step = 1;
    while ((toDb - fromDb) / step > 12) step = step == 1 ? 2 : step == 2 ? 5 : step * 2;
    fromDb = std::floor(fromDb / step) * step;
    toDb = std::ceil(toDb / step) * step;
    chart.x = {"SNR = 10 log10(28 / sigma^2) (dB)",          fromDb, toDb, false,
               static_cast<int>((toDb - fromDb) / step) + 1, "%g"};

    platform::ChartSeries slicer =
        Series("slicer, measured", platform::ChartSeries::Kind::Points, 0x1F5FD0);
    platform::ChartSeries viterbi =
        Series("Viterbi, measured", platform::ChartSeries::Kind::Points, 0xD02020);
    int slicerZero = 0, viterbiZero = 0;
    double lowest = 1, highest = 0;
    for (const BerPoint& p : points) {
        for (auto [series, errors, rate, zero] :
             {std::tuple{&slicer, p.slicerErrors, p.SlicerBer(), &slicerZero},
              std::tuple{&viterbi, p.viterbiErrors, p.ViterbiBer(), &viterbiZero}}) {
            if (errors == 0) {
                ++*zero;
                continue;
            }
            series->x.push_back(p.snrDb);
            series->y.push_back(rate);
            lowest = std::min(lowest, rate);
            highest = std::max(highest, rate);
        }
    }
    // A rate of 0 has no place on a logarithmic axis: say what is missing.
    if (slicerZero + viterbiZero > 0) {
        chart.subtitle = "left out at 0 errors: " + std::to_string(slicerZero) + " slicer, " +
                         std::to_string(viterbiZero) + " Viterbi point" +
                         (viterbiZero == 1 ? "" : "s");
    }

    platform::ChartSeries exact =
        Series("slicer, exact", platform::ChartSeries::Kind::Line, 0x1F5FD0);
    platform::ChartSeries bound =
        Series("Viterbi, union bound", platform::ChartSeries::Kind::Line, 0xD02020, true);
    constexpr int kCurvePoints = 200;
    for (int i = 0; i <= kCurvePoints; ++i) {
        const double db = fromDb + (toDb - fromDb) * i / kCurvePoints;
        const double sigma = SigmaOfSnr(db);
        const double s = channel::SlicerBer(sigma);
        const double v = channel::UnionBound(events, sigma);
        if (s > 0) exact.x.push_back(db), exact.y.push_back(s);
        if (v > 0) bound.x.push_back(db), bound.y.push_back(v);
    }
    if (highest == 0) {
        // Nothing measured: the slicer's curve decides the range.
        highest = exact.y.empty() ? 1 : exact.y.front();
        lowest = exact.y.empty() ? 1e-6 : std::max(exact.y.back(), 1e-12);
    }
    const double top = std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest) + 1e-9)));
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest) - 1e-9));
    chart.y = {"bit-error rate", bottom, top, true, 0, "%.0e"};
    chart.series = {exact, bound, slicer, viterbi};
    chart.top.title = "sigma (levels)";
    SigmaLabels(fromDb, toDb, chart.top);
    return chart;
}

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "both detectors' bit-error rates against the noise");
    cmd->footer("Measures both detectors' bit-error rates at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output. A point\n"
                "ends at --bits bits or once both detectors have --errors errors, whichever\n"
                "comes first. --png draws them as a chart (Qt Charts, no display needed).\n"
                "Progress shows on standard error when it is a terminal; Ctrl-C stops,\n"
                "prints and writes the points finished so far and exits with 130.\n"
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
    cmd->add_option("--png", options.png,
                    "also draw the rates against SNR: measured points (those without errors "
                    "cannot sit on the logarithmic axis and are left out), the slicer's exact "
                    "rate and the Viterbi detector's union bound as lines, sigma along the top "
                    "(\"-\" = standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddChecked(*cmd, "--size", "the picture's size in pixels (default 800x520)",
               [&options](const std::string& text) {
                   return ParseSize(text, options.width, options.height);
               })
        ->type_name("WxH");
    return cmd;
}

void CheckBerOptions(const BerOptions& options) {
    if (options.sigmas.empty()) throw CLI::RequiredError("ber: --sigma or --snr");
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    constexpr int kMinChart = 240;
    if (!options.png.empty() && (options.width < kMinChart || options.height < kMinChart))
        throw CLI::ValidationError("--size", "a chart needs at least " + std::to_string(kMinChart) +
                                                 " pixels each way");
}

int RunBer(const BerOptions& options) {
    console::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    console::OutputFile png;
    if (!options.png.empty() && !png.Open(options.png)) return FileError(options.png, png.error());
    const bool table = options.csv != "-" && options.png != "-";
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
        console::Progress progress("bits");
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
    if (png.get() != nullptr) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(BerChart(options, points, events), png.get()) &&
            std::ferror(png.get()) == 0)
            return FileError(options.png, "PNG encoding failed");
        if (!(png.Finish() && png.Commit())) return FileError(options.png, png.error());
    }
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by Ctrl-C after %zu of %d points\n",
                     points.size(), count);
    }
    return FinishStdout(Interrupted() ? kExitInterrupted : 0);
}

} // namespace lab
