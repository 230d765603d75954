// `quorvane-lab ber`: the detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/bounds.h"
#include "channel/events.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/options.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace lab {
namespace {

using detectors::Kind;

using engine::BerPoint;

int IndexOf(const engine::BerSetup& setup, Kind kind) {
    const auto at = std::find(setup.detectors.begin(), setup.detectors.end(), kind);
    return at == setup.detectors.end() ? -1 : static_cast<int>(at - setup.detectors.begin());
}

// Column widths of a detector's two table columns: its name and " errors",
// its name and " BER".
int ErrorsWidth(Kind kind) {
    return static_cast<int>(std::string(KindName(kind)).size()) + 7;
}
int BerWidth(Kind kind) {
    return static_cast<int>(std::string(KindName(kind)).size()) + 4;
}

void PrintHeader(const engine::BerSetup& setup) {
    std::printf("%8s  %8s  %14s", "SNR dB", "sigma", "bits");
    for (Kind kind : setup.detectors) {
        const std::string name = KindName(kind);
        std::printf("  %*s  %*s", ErrorsWidth(kind), (name + " errors").c_str(), BerWidth(kind),
                    (name + " BER").c_str());
    }
    std::printf("  %11s\n", "union bound");
}

void PrintRow(const engine::BerSetup& setup, const BerPoint& p) {
    std::printf("%8.2f  %8.4g  %14llu", p.snrDb, p.sigma,
                static_cast<unsigned long long>(p.counts.bits));
    for (std::size_t d = 0; d < setup.detectors.size(); ++d) {
        const engine::Monitor& m = p.counts.detectors[d];
        std::printf("  %*llu  %*.4e", ErrorsWidth(setup.detectors[d]),
                    static_cast<unsigned long long>(m.bitErrors), BerWidth(setup.detectors[d]),
                    m.Ber());
    }
    std::printf("  %11.4e\n", p.unionBound);
    std::fflush(stdout);
}

// Every detector the lab has gets its two columns, in the same place
// whatever runs; one that did not run leaves them empty.
void WriteCsv(std::FILE* file, const engine::BerSetup& setup, const std::vector<BerPoint>& points) {
    std::string header;
    for (const std::string& field : engine::BerPointFields())
        header += (header.empty() ? "" : ",") + field;
    std::fprintf(file, "%s\n", header.c_str());
    for (const BerPoint& p : points) {
        std::fprintf(file, "%.9g,%.9g,%llu", p.snrDb, p.sigma,
                     static_cast<unsigned long long>(p.counts.bits));
        for (Kind kind : detectors::AllKinds()) {
            const int d = IndexOf(setup, kind);
            if (d < 0) {
                std::fputs(",,", file);
                continue;
            }
            const engine::Monitor& m = p.counts.detectors[static_cast<std::size_t>(d)];
            std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(m.bitErrors), m.Ber());
        }
        std::fprintf(file, ",%.9g\n", p.unionBound);
    }
}

std::string Number(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// Sigma values worth a label on the top axis: 1, 1.2, 1.5, 2, 2.5, 3, 4, 5,
// 6, 8 times a power of ten, at least a tenth of the axis apart.
void SigmaLabels(double energy, double fromDb, double toDb, platform::ChartTopAxis& top) {
    constexpr double kSteps[] = {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8};
    const double lo = channel::SigmaOfSnr(energy, toDb);
    const double hi = channel::SigmaOfSnr(energy, fromDb);
    double last = -1e9;
    // Descending sigma is ascending SNR.
    std::vector<std::pair<double, double>> marks; // (dB, sigma)
    for (int decade = static_cast<int>(std::floor(std::log10(hi))); decade >= -4; --decade) {
        for (int i = 9; i >= 0; --i) {
            const double sigma = kSteps[i] * std::pow(10.0, decade);
            if (sigma >= lo && sigma <= hi)
                marks.emplace_back(channel::SnrDb(energy, sigma), sigma);
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

platform::Colour ColourOf(Kind kind) {
    return kind == Kind::kSlicer ? 0x1F5FD0 : 0xD02020;
}

// The points as a chart: the measured rates as markers, the slicer's exact
// rate and the Viterbi detector's union bound as lines.
platform::Chart BerChart(const BerOptions& options, const std::vector<BerPoint>& points,
                         const std::vector<channel::ErrorEvent>& events) {
    const channel::Target& target = options.setup.chain.target;
    const double energy = target.Energy();
    platform::Chart chart;
    chart.width = options.width;
    chart.height = options.height;
    chart.title = "Bit-error rate against SNR, " + target.Name() + ", frames of " +
                  std::to_string(options.settings.frame) + " bits";

    double fromDb = 0, toDb = 0;
    if (!options.snrDbs.empty()) {
        fromDb = options.snrDbs.front();
        toDb = options.snrDbs.back();
    } else {
        fromDb = toDb = channel::SnrDb(energy, options.sigmas.front());
        for (double sigma : options.sigmas) {
            const double db = std::min(channel::SnrDb(energy, sigma), kMaxSnrDb);
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
    chart.x = {"SNR = 10 log10(" + Number("%g", energy) + " / sigma^2) (dB)",
               fromDb,
               toDb,
               false,
               static_cast<int>((toDb - fromDb) / step) + 1,
               "%g"};

    const std::vector<Kind>& kinds = options.setup.detectors;
    std::vector<platform::ChartSeries> measured;
    std::vector<int> zero(kinds.size(), 0);
    double lowest = 1, highest = 0;
    for (std::size_t d = 0; d < kinds.size(); ++d) {
        measured.push_back(Series(std::string(detectors::KindTitle(kinds[d])) + ", measured",
                                  platform::ChartSeries::Kind::Points, ColourOf(kinds[d])));
        for (const BerPoint& p : points) {
            const engine::Monitor& m = p.counts.detectors[d];
            if (m.bitErrors == 0) {
                ++zero[d];
                continue;
            }
            measured.back().x.push_back(p.snrDb);
            measured.back().y.push_back(m.Ber());
            lowest = std::min(lowest, m.Ber());
            highest = std::max(highest, m.Ber());
        }
    }
    // A rate of 0 has no place on a logarithmic axis: say what is missing.
    int left = 0;
    for (int z : zero) left += z;
    if (left > 0) {
        chart.subtitle = "left out at 0 errors:";
        for (std::size_t d = 0; d < kinds.size(); ++d)
            chart.subtitle += std::string(d == 0 ? " " : ", ") + std::to_string(zero[d]) + " " +
                              detectors::KindTitle(kinds[d]);
        chart.subtitle += zero.back() == 1 ? " point" : " points";
    }

    const bool slicer = IndexOf(options.setup, Kind::kSlicer) >= 0;
    platform::ChartSeries exact =
        Series("slicer, exact", platform::ChartSeries::Kind::Line, ColourOf(Kind::kSlicer));
    platform::ChartSeries bound = Series("Viterbi, union bound", platform::ChartSeries::Kind::Line,
                                         ColourOf(Kind::kViterbi), true);
    constexpr int kCurvePoints = 200;
    for (int i = 0; i <= kCurvePoints; ++i) {
        const double db = fromDb + (toDb - fromDb) * i / kCurvePoints;
        const double sigma = channel::SigmaOfSnr(energy, db);
        const double s = slicer ? channel::SlicerBer(target, sigma) : 0.0;
        const double v = channel::UnionBound(events, sigma);
        if (s > 0) exact.x.push_back(db), exact.y.push_back(s);
        if (v > 0) bound.x.push_back(db), bound.y.push_back(v);
    }
    if (highest == 0) {
        // Nothing measured: the analytic curves decide the range.
        const platform::ChartSeries& curve = slicer ? exact : bound;
        highest = curve.y.empty() ? 1 : curve.y.front();
        lowest = curve.y.empty() ? 1e-6 : std::max(curve.y.back(), 1e-12);
    }
    const double top = std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest) + 1e-9)));
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest) - 1e-9));
    chart.y = {"bit-error rate", bottom, top, true, 0, "%.0e"};
    if (slicer) chart.series.push_back(exact);
    chart.series.push_back(bound);
    for (const platform::ChartSeries& m : measured) chart.series.push_back(m);
    chart.top.title = "sigma (levels)";
    SigmaLabels(energy, fromDb, toDb, chart.top);
    return chart;
}

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "the detectors' bit-error rates against the noise");
    cmd->footer("Measures every detector's bit-error rate at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output. A point\n"
                "ends at --bits bits or once every detector has --errors errors, whichever\n"
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
                                      options.sigmas.clear();
                                      return ParseSnrRange(text, options.snrDbs);
                                  })
                           ->type_name("FROM:TO:STEP");
    sigma->excludes(snr);
    AddCount(*cmd, "--bits", options.settings.bits, 1, kMaxBits,
             "bits per point at most, rounded up to whole frames (default 1e7)");
    AddCount(*cmd, "--errors", options.settings.errors, 1, kMaxErrors,
             "end a point once every detector has this many errors (default 1000)");
    AddCount(*cmd, "--frame", options.settings.frame, 1, kMaxFrame,
             "bits per frame, each frame from an all-zero history (default 4096)");
    AddCount(*cmd, "--seed", options.settings.seed, 0, UINT64_MAX,
             "seed of the random bits and the noise (default 1)");
    AddCount(*cmd, "--threads", options.settings.threads, 1, kMaxThreads,
             "worker threads (default: all cores); the counts do not depend on it");
    AddTarget(*cmd, options.setup.chain.target);
    AddTail(*cmd, options.setup.chain.tail);
    cmd->add_option("--csv", options.csv,
                    "also write snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,"
                    "viterbi_ber,union_bound; a detector that did not run leaves its columns "
                    "empty (\"-\" = standard output, which then gets only the CSV)")
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

void CheckBerOptions(BerOptions& options) {
    if (options.sigmas.empty() && options.snrDbs.empty())
        throw CLI::RequiredError("ber: --sigma or --snr");
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    constexpr int kMinChart = 240;
    if (!options.png.empty() && (options.width < kMinChart || options.height < kMinChart))
        throw CLI::ValidationError("--size", "a chart needs at least " + std::to_string(kMinChart) +
                                                 " pixels each way");
    const channel::Target& target = options.setup.chain.target;
    if (!options.snrDbs.empty()) {
        options.sigmas.clear();
        for (double db : options.snrDbs)
            options.sigmas.push_back(channel::SigmaOfSnr(target.Energy(), db));
    }
    options.setup.detectors = detectors::KindsFor(target);
}

int RunBer(const BerOptions& options) {
    console::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    console::OutputFile png;
    if (!options.png.empty() && !png.Open(options.png)) return FileError(options.png, png.error());
    const bool table = options.csv != "-" && options.png != "-";
    CatchInterrupt();

    const engine::BerSetup& setup = options.setup;
    const channel::Target& target = setup.chain.target;
    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents(target);
    if (table) {
        for (Kind kind : detectors::AllKinds())
            if (std::string why = detectors::WhyNot(kind, target); !why.empty())
                std::printf("no %s: %s\n", KindName(kind), why.c_str());
        PrintHeader(setup);
    }
    const std::vector<BerPoint> sweep = options.snrDbs.empty()
                                            ? engine::PointsOfSigmas(target, options.sigmas)
                                            : engine::PointsOfSnrs(target, options.snrDbs);
    std::vector<BerPoint> points;
    const int count = static_cast<int>(sweep.size());
    for (int i = 0; i < count && !Interrupted(); ++i) {
        BerPoint p = sweep[static_cast<std::size_t>(i)];
        // One status line per point, so its rate and time left are the point's.
        console::Progress progress("bits");
        const bool done =
            engine::RunBerPoint(options.settings, setup, i, events, InterruptFlag(), p,
                                [&](const engine::PointCounts& c) {
                                    std::string detail = "point " + std::to_string(i + 1) + "/" +
                                                         std::to_string(count) + ", errors";
                                    for (std::size_t d = 0; d < c.detectors.size(); ++d)
                                        detail += std::string(d == 0 ? " " : ", ") +
                                                  std::to_string(c.detectors[d].bitErrors) + " " +
                                                  KindName(setup.detectors[d]);
                                    detail += ", sigma " + Number("%.4g", p.sigma);
                                    progress.Update(c.bits, options.settings.bits, detail);
                                });
        if (!done) break;
        points.push_back(p);
        progress.Finish();
        if (table) PrintRow(setup, p);
    }

    if (csv.get() != nullptr) {
        WriteCsv(csv.get(), setup, points);
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
