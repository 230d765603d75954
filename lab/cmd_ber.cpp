// `quorvane-lab ber`: the detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/bounds.h"
#include "channel/events.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "lab/cluster.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/options.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace lab {
namespace {

using detectors::Kind;

// A finished point as the table, the CSV and the chart show it.
struct BerPoint {
    double snrDb = 0;
    double sigma = 0;
    engine::PointCounts counts; // one monitor per detector of the setup
    double unionBound = 0;      // of the Viterbi detector's raw-bit error rate
};

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
    std::string header = "snr_db,sigma,bits";
    for (Kind kind : detectors::AllKinds())
        header += std::string(",") + KindName(kind) + "_errors," + KindName(kind) + "_ber";
    std::fprintf(file, "%s,union_bound\n", header.c_str());
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
    if (options.setup.chain.adcBits > 0)
        chart.title += ", " + std::to_string(options.setup.chain.adcBits) + "-bit converter";

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

// --adc-bits and --noise-stream.
void AddConverterOptions(CLI::App& cmd, engine::ChainSettings& chain) {
    AddCount(cmd, "--adc-bits", chain.adcBits, channel::kMinAdcBits, channel::kMaxAdcBits,
             "quantize the detectors' input with a converter of B bits, uniform over the "
             "target's levels with clamping: m = floor((2^B - 1) / (highest - lowest level)) "
             "codes a level step, code c for lowest + c/m, c = 0 ... m (highest - lowest), each "
             "sample to the nearest code (halfway up); the Viterbi detector then runs in "
             "integers on the codes (default: none, float samples)")
        ->type_name("B");
    AddChecked(cmd, "--noise-stream",
               "lanes (the default): the noise from eight generators side by side; serial: "
               "from one generator, the stream of the lab's earlier versions (slower)",
               [&chain](const std::string& text) -> std::string {
                   if (text == "lanes" || text == "serial") {
                       chain.noise = text == "lanes" ? engine::ChainSettings::Noise::kLanes
                                                     : engine::ChainSettings::Noise::kSerial;
                       return {};
                   }
                   return channel::Quoted(text) + " is neither lanes nor serial";
               })
        ->type_name("lanes|serial");
}

void CheckConverter(const engine::ChainSettings& chain) {
    if (chain.adcBits == 0) return;
    if (std::string why = channel::Adc::WhyNot(chain.target, chain.adcBits); !why.empty())
        throw CLI::ValidationError("--adc-bits", why);
}

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "the detectors' bit-error rates against the noise");
    cmd->footer("Measures every detector's bit-error rate at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output. A point\n"
                "ends at --bits bits or once every detector has --errors errors, whichever\n"
                "comes first. --png draws them as a chart (Qt Charts, no display needed).\n"
                "Progress shows on standard error when it is a terminal; Ctrl-C (or\n"
                "SIGTERM) stops, prints and writes the points finished so far and exits\n"
                "with 130 (143). Started by mpirun or srun, the processes share every\n"
                "point's work and give the same counts as one process; rank 0 prints and\n"
                "writes.\n"
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
    AddConverterOptions(*cmd, options.setup.chain);
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
    CheckConverter(options.setup.chain);
}

int RunBer(const BerOptions& options) {
    CatchInterrupt();
    // Under an MPI launcher the points are shared, rank 0 prints and writes,
    // and its files are opened only at the end, so that a process killed on
    // the way leaves none behind; alone, they are opened at once as always.
    PointRunner runner(InterruptFlag());
    if (!runner.Error().empty()) {
        std::fprintf(stderr, "quorvane-lab: cannot join the MPI run: %s\n", runner.Error().c_str());
        return kExitFile;
    }
    const bool root = runner.Root();
    std::optional<console::OutputFile> csv, png;
    auto OpenFiles = [&]() -> int {
        for (auto [file, name] : {std::pair{&csv, &options.csv}, std::pair{&png, &options.png}}) {
            if (name->empty()) continue;
            file->emplace();
            if (!(*file)->Open(*name)) return FileError(*name, (*file)->error());
        }
        return 0;
    };
    if (root) {
        if (const int status = OpenFiles(); status != 0) return status;
        if (runner.Shared()) csv.reset(), png.reset(); // they can be written: later
    }
    const bool table = root && options.csv != "-" && options.png != "-";

    const engine::BerSetup& setup = options.setup;
    const channel::Target& target = setup.chain.target;
    const std::vector<channel::ErrorEvent> events = channel::UnionBoundEvents(target);
    if (table) {
        for (Kind kind : detectors::AllKinds())
            if (std::string why = detectors::WhyNot(kind, target); !why.empty())
                std::printf("no %s: %s\n", KindName(kind), why.c_str());
        if (setup.chain.adcBits > 0)
            std::printf("%s\n", channel::Adc(target, setup.chain.adcBits).Describe().c_str());
        PrintHeader(setup);
    }
    std::vector<BerPoint> points;
    const int count = static_cast<int>(options.sigmas.size());
    for (int i = 0; i < count && !Interrupted(); ++i) {
        BerPoint p;
        p.sigma = options.sigmas[i];
        p.snrDb =
            options.snrDbs.empty() ? channel::SnrDb(target.Energy(), p.sigma) : options.snrDbs[i];
        // One status line per point, so its rate and time left are the point's.
        console::Progress progress("bits", root && runner.Shared() ? console::Progress::kAnyTerminal
                                                                   : console::Progress::kStderr);
        const PointRunner::End end = runner.Run(
            options.settings, setup, i, p.sigma, p.counts, [&](const engine::PointCounts& c) {
                if (!root) return;
                std::string detail =
                    "point " + std::to_string(i + 1) + "/" + std::to_string(count) + ", errors";
                for (std::size_t d = 0; d < c.detectors.size(); ++d)
                    detail += std::string(d == 0 ? " " : ", ") +
                              std::to_string(c.detectors[d].bitErrors) + " " +
                              KindName(setup.detectors[d]);
                detail += ", sigma " + Number("%.4g", p.sigma);
                progress.Update(c.bits, options.settings.bits, detail);
            });
        if (end == PointRunner::End::kLost) {
            // No file: the points of a run that lost a process are not written.
            progress.Finish();
            std::fprintf(stderr,
                         "quorvane-lab (%s): a process of the MPI run is gone; stopped after %zu "
                         "of %d points, nothing written\n",
                         runner.Where().c_str(), points.size(), count);
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(kExitFile);
        }
        if (end != PointRunner::End::kDone) break;
        p.unionBound = channel::UnionBound(events, p.sigma);
        points.push_back(p);
        progress.Finish();
        if (table) PrintRow(setup, p);
    }
    const int status = Interrupted() ? InterruptStatus() : 0;
    if (!root) return status;
    if (runner.Shared()) {
        if (const int failed = OpenFiles(); failed != 0) return failed;
    }

    if (csv) {
        WriteCsv(csv->get(), setup, points);
        if (!(csv->Finish() && csv->Commit())) return FileError(options.csv, csv->error());
    }
    if (png) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(BerChart(options, points, events), png->get()) &&
            std::ferror(png->get()) == 0)
            return FileError(options.png, "PNG encoding failed");
        if (!(png->Finish() && png->Commit())) return FileError(options.png, png->error());
    }
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu of %d points\n",
                     InterruptName(), points.size(), count);
    }
    return FinishStdout(status);
}

} // namespace lab
