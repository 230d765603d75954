// `quorvane-lab ber`: the detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/bounds.h"
#include "channel/events.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/ber_sweep.h"
#include "engine/chain.h"
#include "lab/ber_points.h"
#include "lab/channel_options.h"
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

using engine::BerPoint;

int IndexOf(const std::vector<Kind>& kinds, Kind kind) {
    const auto at = std::find(kinds.begin(), kinds.end(), kind);
    return at == kinds.end() ? -1 : static_cast<int>(at - kinds.begin());
}

// Column widths of a detector's two table columns: its name and " errors",
// its name and " BER".
int ErrorsWidth(Kind kind) {
    return static_cast<int>(std::string(KindName(kind)).size()) + 7;
}
int BerWidth(Kind kind) {
    return static_cast<int>(std::string(KindName(kind)).size()) + 4;
}

void PrintHeader(const std::vector<Kind>& kinds) {
    std::printf("%8s  %8s  %14s", "SNR dB", "sigma", "bits");
    for (Kind kind : kinds) {
        const std::string name = KindName(kind);
        std::printf("  %*s  %*s", ErrorsWidth(kind), (name + " errors").c_str(), BerWidth(kind),
                    (name + " BER").c_str());
    }
    std::printf("  %11s\n", "union bound");
}

void PrintRow(const BerPoint& p) {
    std::printf("%8.2f  %8.4g  %14llu", p.snrDb, p.sigma,
                static_cast<unsigned long long>(p.counts.bits));
    for (std::size_t d = 0; d < p.kinds.size(); ++d) {
        const engine::Monitor& m = p.counts.detectors[d];
        std::printf("  %*llu  %*.4e", ErrorsWidth(p.kinds[d]),
                    static_cast<unsigned long long>(m.bitErrors), BerWidth(p.kinds[d]), m.Ber());
    }
    std::printf("  %11.4e\n", p.unionBound);
    std::fflush(stdout);
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
    for (int decade = static_cast<int>(std::floor(std::log10(hi))); decade >= -5; --decade) {
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
    return kind == Kind::kSlicer ? 0x1F5FD0 : kind == Kind::kViterbi ? 0xD02020 : 0x209040;
}

// One colour a target, when several share the chart.
platform::Colour TargetColour(std::size_t t) {
    constexpr platform::Colour kColours[] = {0xD02020, 0x1F5FD0, 0x209040, 0x9040C0,
                                             0xE08000, 0x008B8B, 0x8B4513, 0x606060};
    return kColours[t % 8];
}

// The points as a chart. One target: the measured rates as markers, the
// slicer's exact rate and the Viterbi detector's union bound as lines (on a
// head the bound at the measured points, the equalized noise taken as white).
// Several: every target and detector as a line through its points, a colour
// a target, solid for Viterbi, dashed for npml, dotted for the slicer.
platform::Chart BerChart(const BerOptions& options, const std::vector<BerPoint>& points,
                         const std::vector<std::vector<channel::ErrorEvent>>& events) {
    const bool several = options.channel.targets.size() > 1;
    const bool recording = options.channel.chain.Recording();
    const engine::ChainSettings first = ChainFor(options.channel, 0);
    const double energy = engine::SignalEnergy(first);
    platform::Chart chart;
    chart.width = options.width;
    chart.height = options.height;
    chart.title = "Bit-error rate against SNR, " +
                  (several ? std::to_string(options.channel.targets.size()) + " targets"
                           : first.TargetName()) +
                  ", frames of " + std::to_string(options.settings.frame) + " bits";
    if (first.adcBits > 0) chart.title += ", " + std::to_string(first.adcBits) + "-bit converter";
    if (recording) chart.subtitle = ChannelText(first);
    chart.legendRight = several;

    double fromDb = 1e9, toDb = -1e9;
    for (const BerPoint& p : points) {
        fromDb = std::min(fromDb, std::min(p.snrDb, kMaxSnrDb));
        toDb = std::max(toDb, std::min(p.snrDb, kMaxSnrDb));
    }
    if (points.empty()) {
        fromDb = options.snrDbs.empty() ? channel::SnrDb(energy, options.sigmas.front())
                                        : options.snrDbs.front();
        toDb = fromDb;
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
    const std::string energyText = recording ? "E_i" : Number("%g", energy);
    chart.x = {"SNR = 10 log10(" + energyText + " / sigma^2) (dB)", fromDb, toDb, false,
               static_cast<int>((toDb - fromDb) / step) + 1,        "%g"};

    // Measured: one series per target and detector, in the order they ran.
    std::vector<platform::ChartSeries> measured;
    std::vector<std::pair<std::string, int>> zero; // (series, points left out)
    double lowest = 1, highest = 0;
    for (std::size_t t = 0; t < options.channel.targets.size(); ++t) {
        const std::string name = ChainFor(options.channel, t).TargetName();
        for (Kind kind : detectors::AllKinds()) {
            platform::ChartSeries series =
                several ? Series(name + " " + detectors::KindTitle(kind),
                                 platform::ChartSeries::Kind::LinePoints, TargetColour(t),
                                 kind == Kind::kNpml)
                        : Series(std::string(detectors::KindTitle(kind)) + ", measured",
                                 platform::ChartSeries::Kind::Points, ColourOf(kind));
            series.dotted = several && kind == Kind::kSlicer;
            int left = 0;
            bool ran = false;
            for (const BerPoint& p : points) {
                if (p.target != t) continue;
                const int d = IndexOf(p.kinds, kind);
                if (d < 0) continue;
                ran = true;
                const engine::Monitor& m = p.counts.detectors[static_cast<std::size_t>(d)];
                if (m.bitErrors == 0) {
                    ++left;
                    continue;
                }
                series.x.push_back(p.snrDb);
                series.y.push_back(m.Ber());
                lowest = std::min(lowest, m.Ber());
                highest = std::max(highest, m.Ber());
            }
            if (!ran) continue;
            measured.push_back(series);
            if (left > 0) zero.emplace_back(series.name, left);
        }
    }
    // A rate of 0 has no place on a logarithmic axis: say what is missing.
    if (!zero.empty()) {
        chart.subtitle += std::string(chart.subtitle.empty() ? "" : "; ") + "left out at 0 errors:";
        if (several) {
            // One count: a list of every series would not fit the line.
            int all = 0;
            for (const auto& z : zero) all += z.second;
            chart.subtitle += " " + std::to_string(all) + (all == 1 ? " point" : " points");
        } else {
            for (std::size_t i = 0; i < zero.size(); ++i)
                chart.subtitle += std::string(i == 0 ? " " : ", ") +
                                  std::to_string(zero[i].second) + " " +
                                  zero[i].first.substr(0, zero[i].first.find(','));
            chart.subtitle += zero.back().second == 1 ? " point" : " points";
        }
    }

    std::vector<platform::ChartSeries> curves;
    if (!several) {
        const channel::Target& target = first.target;
        const bool slicer =
            !recording && IndexOf(detectors::KindsFor(target), Kind::kSlicer) >= 0 &&
            std::any_of(points.begin(), points.end(),
                        [](const BerPoint& p) { return IndexOf(p.kinds, Kind::kSlicer) >= 0; });
        platform::ChartSeries exact =
            Series("slicer, exact", platform::ChartSeries::Kind::Line, ColourOf(Kind::kSlicer));
        platform::ChartSeries bound =
            Series("Viterbi, union bound", platform::ChartSeries::Kind::Line,
                   ColourOf(Kind::kViterbi), true);
        if (recording) {
            for (const BerPoint& p : points)
                if (p.unionBound > 0) bound.x.push_back(p.snrDb), bound.y.push_back(p.unionBound);
        } else {
            constexpr int kCurvePoints = 200;
            for (int i = 0; i <= kCurvePoints; ++i) {
                const double db = fromDb + (toDb - fromDb) * i / kCurvePoints;
                const double sigma = channel::SigmaOfSnr(energy, db);
                const double s = slicer ? channel::SlicerBer(target, sigma) : 0.0;
                const double v = channel::UnionBound(events.front(), sigma);
                if (s > 0) exact.x.push_back(db), exact.y.push_back(s);
                if (v > 0) bound.x.push_back(db), bound.y.push_back(v);
            }
        }
        if (highest == 0) {
            // Nothing measured: the analytic curves decide the range.
            const platform::ChartSeries& curve = slicer ? exact : bound;
            highest = curve.y.empty() ? 1 : curve.y.front();
            lowest = curve.y.empty() ? 1e-6 : std::max(curve.y.back(), 1e-12);
        }
        if (slicer) curves.push_back(exact);
        curves.push_back(bound);
    }
    if (highest == 0) highest = 1, lowest = 1e-6;
    const double top = std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest) + 1e-9)));
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest) - 1e-9));
    chart.y = {"bit-error rate", bottom, top, true, 0, "%.0e"};
    chart.series = curves;
    for (const platform::ChartSeries& m : measured) chart.series.push_back(m);
    if (!several || recording) {
        chart.top.title = "sigma (levels)";
        SigmaLabels(energy, fromDb, toDb, chart.top);
    }
    return chart;
}

// --adc-bits and --noise-stream.
void AddConverterOptions(CLI::App& cmd, engine::ChainSettings& chain) {
    AddCount(cmd, "--adc-bits", chain.adcBits, channel::kMinAdcBits, channel::kMaxAdcBits,
             "quantize the detectors' input with a converter of B bits, uniform over the "
             "target's levels with clamping: m = floor((2^B - 1) / (highest - lowest level)) "
             "codes a level step, code c for lowest + c/m, c = 0 ... m (highest - lowest), each "
             "sample to the nearest code (halfway up); on a head it quantizes the equalizer's "
             "output; the Viterbi detector then runs in integers on the codes (default: none, "
             "float samples)")
        ->type_name("B");
    AddChecked(cmd, "--noise-stream",
               "serial (the default): the noise from one generator, the stream of every "
               "earlier version; lanes: from eight generators side by side, a stream of its "
               "own and about twice as fast",
               [&chain](const std::string& text) -> std::string {
                   if (text == "lanes" || text == "serial") {
                       chain.noise = text == "lanes" ? engine::ChainSettings::Noise::kLanes
                                                     : engine::ChainSettings::Noise::kSerial;
                       return {};
                   }
                   return channel::Quoted(text) + " is neither lanes nor serial";
               })
        ->type_name("serial|lanes");
}

// The converter needs every target's levels on its codes: integer targets
// whose range its codes hold. A gprL target is designed with real taps.
void CheckConverter(const ChannelOptions& channel) {
    const int bits = channel.chain.adcBits;
    if (bits == 0) return;
    for (const TargetChoice& choice : channel.targets) {
        if (choice.gpr > 0)
            throw CLI::ValidationError(
                "--adc-bits", "gpr" + std::to_string(choice.gpr) +
                                  " is designed with real taps, but the converter puts the "
                                  "levels on its codes, which needs an integer target");
        if (std::string why = channel::Adc::WhyNot(choice.target, bits); !why.empty())
            throw CLI::ValidationError("--adc-bits", why);
    }
}

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "the detectors' bit-error rates against the noise");
    cmd->footer("Measures every detector's bit-error rate at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output, for each\n"
                "target asked for (the same noise for all at a point). A point ends at --bits\n"
                "bits or once every detector has --errors errors, whichever comes first.\n"
                "On a head (--channel lorentz or erf) the equalizer, the npml predictor and a\n"
                "gprL target are designed at each point's SNR and jitter. --png draws the\n"
                "points as a chart (Qt Charts, no display needed). Progress shows on standard\n"
                "error when it is a terminal; Ctrl-C (or SIGTERM) stops, prints and writes the\n"
                "points finished so far and exits with 130 (143). Started by mpirun or srun,\n"
                "the processes share every point's work and give the same counts as one\n"
                "process; rank 0 prints and writes. See quorvane-lab --help for the model.");
    options.settings.threads = DefaultThreads();
    CLI::Option* sigma = AddChecked(*cmd, "--sigma", "noise deviations in levels, e.g. 0.3,0.4",
                                    [&options](const std::string& text) {
                                        options.snrDbs.clear();
                                        return ParseSigmaList(text, options.sigmas);
                                    })
                             ->type_name("S[,S...]");
    CLI::Option* snr =
        AddChecked(*cmd, "--snr", "SNR points in dB, e.g. 10:20:0.5, or one, e.g. 25",
                   [&options](const std::string& text) {
                       options.sigmas.clear();
                       return ParseSnrRange(text, options.snrDbs);
                   })
            ->type_name("DB|FROM:TO:STEP");
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
    AddChannelOptions(*cmd, options.channel, true);
    AddConverterOptions(*cmd, options.channel.chain);
    cmd->add_option("--csv", options.csv,
                    "also write snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,"
                    "viterbi_ber,union_bound; on a head npml_errors,npml_ber follow the Viterbi "
                    "pair, with several targets a target column comes first, and a detector "
                    "that did not run leaves its two columns empty (\"-\" = standard output, "
                    "which then gets only the CSV)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw the rates against SNR: measured points (those without errors "
                    "cannot sit on the logarithmic axis and are left out), the slicer's exact "
                    "rate and the Viterbi detector's union bound as lines, sigma along the top "
                    "(\"-\" = standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height, "800x520");
    return cmd;
}

void CheckBerOptions(BerOptions& options) {
    if (options.sigmas.empty() && options.snrDbs.empty())
        throw CLI::RequiredError("ber: --sigma or --snr");
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(options.png, options.width, options.height);
    CheckChannelOptions(options.channel);
    CheckConverter(options.channel);
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

    const std::size_t targets = options.channel.targets.size();
    const int count = static_cast<int>(std::max(options.sigmas.size(), options.snrDbs.size()));
    std::vector<BerPoint> points;
    std::vector<std::vector<channel::ErrorEvent>> events(targets);
    // Every process of a shared run goes through the same points and stops
    // at the same one: when the shared point says so, whatever its own flag.
    bool stopped = false;
    auto Stop = [&] { return stopped || (!runner.Shared() && Interrupted()); };
    for (std::size_t t = 0; t < targets && !Stop(); ++t) {
        const engine::ChainSettings chain = ChainFor(options.channel, t);
        events[t] = engine::BoundEvents(chain);
        if (table) {
            if (targets > 1 || chain.Recording())
                std::printf("%starget %s, %s\n", t == 0 ? "" : "\n", chain.TargetName().c_str(),
                            ChannelText(chain).c_str());
            if (options.channel.detectors.empty()) {
                for (Kind kind : detectors::AllKinds()) {
                    if (chain.gpr > 0 && kind == Kind::kSlicer) {
                        std::printf("no slicer: %s has real taps, so no parity precoder\n",
                                    chain.TargetName().c_str());
                        continue;
                    }
                    // npml is no loss on the ideal channel, where the noise is white.
                    if (chain.gpr > 0 || (kind == Kind::kNpml && !chain.Recording())) continue;
                    if (std::string why = detectors::WhyNot(kind, chain.target, chain.Recording());
                        !why.empty())
                        std::printf("no %s: %s\n", KindName(kind), why.c_str());
                }
            }
            if (chain.adcBits > 0)
                std::printf("%s\n", channel::Adc(chain.target, chain.adcBits).Describe().c_str());
        }
        bool headed = false;
        for (int i = 0; i < count && !Stop(); ++i) {
            BerPoint p =
                engine::PointAt(chain, options.sigmas, options.snrDbs, static_cast<std::size_t>(i));
            p.target = t;
            const engine::ChannelDesign design = engine::DesignChannel(chain, p.sigma);
            engine::BerSetup setup;
            setup.chain = chain;
            setup.detectors = DetectorsFor(options.channel, design);
            if (table && !headed) {
                PrintHeader(engine::DetectorsOf(setup, design));
                headed = true;
            }
            engine::BeginBerPoint(setup, design, p);
            // One status line per point, so its rate and time left are the point's.
            console::Progress progress("bits", root && runner.Shared()
                                                   ? console::Progress::kAnyTerminal
                                                   : console::Progress::kStderr);
            const PointRunner::End end = runner.Run(
                options.settings, setup, design, i, p.counts, [&](const engine::PointCounts& c) {
                    if (!root) return;
                    std::string detail =
                        "point " + std::to_string(i + 1) + "/" + std::to_string(count) + ", errors";
                    for (std::size_t d = 0; d < c.detectors.size(); ++d)
                        detail += std::string(d == 0 ? " " : ", ") +
                                  std::to_string(c.detectors[d].bitErrors) + " " +
                                  KindName(p.kinds[d]);
                    detail += ", sigma " + Number("%.4g", p.sigma);
                    if (targets > 1) detail = chain.TargetName() + " " + detail;
                    progress.Update(c.bits, options.settings.bits, detail);
                });
            if (end == PointRunner::End::kLost) {
                // No file: the points of a run that lost a process are not written.
                progress.Finish();
                std::fprintf(stderr,
                             "quorvane-lab (%s): a process of the MPI run is gone; stopped after "
                             "%zu of %zu points, nothing written\n",
                             runner.Where().c_str(), points.size(),
                             static_cast<std::size_t>(count) * targets);
                std::fflush(stdout);
                std::fflush(stderr);
                std::_Exit(kExitFile);
            }
            if (end != PointRunner::End::kDone) {
                stopped = true;
                break;
            }
            engine::EndBerPoint(setup, design, events[t], p);
            points.push_back(p);
            progress.Finish();
            if (table) {
                PrintRow(p);
                if (chain.gpr > 0) std::printf("          %s\n", p.coefficients.c_str());
            }
        }
    }
    // A shared run can be stopped by a signal to another of its processes:
    // then this one says so and exits as if it had been sent SIGTERM.
    const bool signalled = Interrupted();
    const bool interrupted = signalled || stopped;
    const int status = !interrupted ? 0 : signalled ? InterruptStatus() : kExitTerminated;
    if (!root) return status;
    if (runner.Shared()) {
        if (const int failed = OpenFiles(); failed != 0) return failed;
    }

    if (csv) {
        WriteBerCsv(csv->get(), options.channel, points);
        if (!(csv->Finish() && csv->Commit())) return FileError(options.csv, csv->error());
    }
    if (png) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(BerChart(options, points, events), png->get()) &&
            std::ferror(png->get()) == 0)
            return FileError(options.png, "PNG encoding failed");
        if (!(png->Finish() && png->Commit())) return FileError(options.png, png->error());
    }
    if (interrupted) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu of %zu points\n",
                     signalled ? InterruptName() : "a signal to another process of the run",
                     points.size(), static_cast<std::size_t>(count) * targets);
    }
    return FinishStdout(status);
}

} // namespace lab
