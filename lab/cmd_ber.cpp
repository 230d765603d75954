// `quorvane-lab ber`: the detectors' bit-error rates against the noise, with
// the Viterbi detector's union bound beside them.
#include "channel/adc.h"
#include "channel/bounds.h"
#include "channel/events.h"
#include "choices/ber_table.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/ber_curves.h"
#include "engine/ber_sweep.h"
#include "engine/chain.h"
#include "lab/channel_cli.h"
#include "lab/cluster.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace lab {

using choices::Number;
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

// By importance sampling a detector's columns are its estimate and its
// relative standard error (the 95 % interval is in the CSV), and the point's
// processor seconds end the row.
void PrintHeader(const std::vector<Kind>& kinds, bool importance) {
    std::printf("%8s  %8s  %14s", "SNR dB", "sigma", "bits");
    for (Kind kind : kinds) {
        const std::string name = KindName(kind);
        if (importance)
            std::printf("  %*s  %*s", BerWidth(kind) + 3, (name + " BER is").c_str(), 6,
                        (name.substr(0, 2) + " rse").c_str());
        else
            std::printf("  %*s  %*s", ErrorsWidth(kind), (name + " errors").c_str(), BerWidth(kind),
                        (name + " BER").c_str());
    }
    std::printf("  %11s%s\n", "union bound", importance ? "     cpu s" : "");
}

void PrintRow(const BerPoint& p) {
    const bool importance = !p.estimates.empty();
    std::printf("%8.2f  %8.4g  %14llu", p.snrDb, p.sigma,
                static_cast<unsigned long long>(p.counts.bits));
    for (std::size_t d = 0; d < p.kinds.size(); ++d) {
        const engine::Monitor& m = p.counts.detectors[d];
        if (importance)
            std::printf("  %*.4e  %6.3f", BerWidth(p.kinds[d]) + 3, p.estimates[d].ber,
                        p.estimates[d].rse);
        else
            std::printf("  %*llu  %*.4e", ErrorsWidth(p.kinds[d]),
                        static_cast<unsigned long long>(m.bitErrors), BerWidth(p.kinds[d]),
                        m.Ber());
    }
    std::printf("  %11.4e", p.unionBound);
    if (importance) std::printf("  %8.2f", p.cpuSeconds);
    std::printf("\n");
    std::fflush(stdout);
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
    return detectors::RowOf(kind).colour;
}

// What the channel's own trials of an importance-sampled sweep counted, as
// counting would, where they saw at least 10 trials with errors: the check
// that the estimate meets counting where counting reaches. A line through
// markers in the detector's colour darkened; the interval counts the trials
// with errors (the errors come in events).
platform::ChartSeries CountedByPlainTrials(const std::vector<BerPoint>& points, std::size_t t,
                                           Kind kind) {
    platform::ChartSeries series =
        Series(std::string(detectors::KindTitle(kind)) + ", counted",
               platform::ChartSeries::Kind::LinePoints, (ColourOf(kind) >> 1) & 0x7F7F7F);
    for (const BerPoint& p : points) {
        const int d = IndexOf(p.kinds, kind);
        if (p.target != t || d < 0 || static_cast<std::size_t>(d) >= p.estimates.size()) continue;
        const engine::Estimate& e = p.estimates[static_cast<std::size_t>(d)];
        if (e.plainHits < 10) continue;
        const double rate =
            static_cast<double>(e.plainBitErrors) / static_cast<double>(e.plainBits);
        const double spread = 1.96 / std::sqrt(static_cast<double>(e.plainHits));
        series.x.push_back(p.snrDb);
        series.y.push_back(rate);
        series.low.push_back(rate * std::max(1e-3, 1 - spread));
        series.high.push_back(rate * (1 + spread));
    }
    return series;
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
platform::Chart BerChart(const BerOptions& options, const std::vector<BerPoint>& points) {
    const bool several = options.channel.targets.size() > 1;
    const bool recording = options.channel.chain.Recording();
    const bool importance = options.channel.estimator == engine::Estimator::kImportance;
    const engine::ChainSettings first = choices::ChainFor(options.channel, 0);
    const double energy = engine::SignalEnergy(first);
    platform::Chart chart;
    chart.width = options.width;
    chart.height = options.height;
    chart.title =
        "Bit-error rate against SNR, " +
        (several ? std::to_string(options.channel.targets.size()) + " targets"
                 : first.TargetName()) +
        (importance
             ? ", trials of " +
                   std::to_string(
                       engine::TrialFrame(options.settings, engine::ImportanceSettings{}).counted)
             : ", frames of " + std::to_string(options.settings.frame)) +
        " bits";
    if (first.adcBits > 0) chart.title += ", " + std::to_string(first.adcBits) + "-bit converter";
    if (importance) chart.title += ", importance sampled";
    if (recording) chart.subtitle = choices::ChannelText(first);
    chart.legendRight = several;

    double fromDb = 1e9, toDb = -1e9;
    for (const BerPoint& p : points) {
        fromDb = std::min(fromDb, std::min(p.snrDb, choices::kMaxSnrDb));
        toDb = std::max(toDb, std::min(p.snrDb, choices::kMaxSnrDb));
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
        const std::string name = choices::ChainFor(options.channel, t).TargetName();
        for (const detectors::Row& row : detectors::Table()) {
            const Kind kind = row.kind;
            platform::ChartSeries series =
                several ? Series(name + " " + detectors::KindTitle(kind),
                                 platform::ChartSeries::Kind::LinePoints, TargetColour(t),
                                 kind == Kind::kNpml)
                        : Series(std::string(detectors::KindTitle(kind)) + ", measured",
                                 platform::ChartSeries::Kind::Points, ColourOf(kind));
            series.dotted = several && kind == Kind::kSlicer;
            if (importance && !several)
                series.name = std::string(detectors::KindTitle(kind)) + ", sampled";
            int left = 0;
            bool ran = false;
            for (const BerPoint& p : points) {
                if (p.target != t) continue;
                const int d = IndexOf(p.kinds, kind);
                if (d < 0) continue;
                ran = true;
                const std::size_t at = static_cast<std::size_t>(d);
                const engine::Monitor& m = p.counts.detectors[at];
                const double rate = at < p.estimates.size() ? p.estimates[at].ber : m.Ber();
                if (rate == 0) {
                    ++left;
                    continue;
                }
                series.x.push_back(p.snrDb);
                series.y.push_back(rate);
                lowest = std::min(lowest, rate);
                highest = std::max(highest, rate);
                if (at < p.estimates.size()) {
                    // The interval's bar, its foot kept on the axis.
                    const engine::Estimate& e = p.estimates[at];
                    series.low.push_back(std::max(e.low, rate * 1e-3));
                    series.high.push_back(e.high);
                    lowest = std::min(lowest, series.low.back());
                }
            }
            if (!ran) continue;
            measured.push_back(series);
            if (left > 0) zero.emplace_back(series.name, left);
            if (importance && !several) {
                platform::ChartSeries plain = CountedByPlainTrials(points, t, kind);
                if (!plain.x.empty()) {
                    lowest =
                        std::min(lowest, *std::min_element(plain.low.begin(), plain.low.end()));
                    measured.push_back(std::move(plain));
                }
            }
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
        const bool slicer = !recording && first.target.HasSlicer() &&
                            std::any_of(points.begin(), points.end(), [](const BerPoint& p) {
                                return IndexOf(p.kinds, Kind::kSlicer) >= 0;
                            });
        platform::ChartSeries exact =
            Series("slicer, exact", platform::ChartSeries::Kind::Line, ColourOf(Kind::kSlicer));
        platform::ChartSeries bound =
            Series("Viterbi, union bound", platform::ChartSeries::Kind::Line,
                   ColourOf(Kind::kViterbi), true);
        if (recording) {
            for (const BerPoint& p : points)
                if (p.unionBound > 0) bound.x.push_back(p.snrDb), bound.y.push_back(p.unionBound);
        } else {
            const engine::BerCurves curves = engine::CurvesOf(first, fromDb, toDb);
            exact.x = curves.slicer.db, exact.y = curves.slicer.rate;
            bound.x = curves.bound.db, bound.y = curves.bound.rate;
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

// Column widths of the table and the progress line need the point's kinds;
// the reporter prints what the engine reports, on rank 0 of a cluster run.
class BerReporter final : public engine::SweepReporter {
  public:
    BerReporter(const BerOptions& options, bool root, bool table, bool shared)
        : options_(options), root_(root), table_(table), shared_(shared) {}

    void TargetBegins(std::size_t t, const engine::ChainSettings& chain) override {
        headed_ = false;
        if (!table_) return;
        const std::size_t targets = options_.channel.targets.size();
        if (targets > 1 || chain.Recording())
            std::printf("%starget %s, %s\n", t == 0 ? "" : "\n", chain.TargetName().c_str(),
                        choices::ChannelText(chain).c_str());
        if (options_.channel.detectors.empty()) {
            const detectors::Where where = choices::WhereOf(chain, options_.channel.targets[t]);
            for (const detectors::Row& row : detectors::Table()) {
                if (!row.byDefault) continue;
                if (chain.gpr > 0 && row.kind == Kind::kSlicer) {
                    std::printf("no slicer: %s has real taps, so no parity precoder\n",
                                chain.TargetName().c_str());
                    continue;
                }
                // npml is no loss on the ideal channel, where the noise is white.
                if (chain.gpr > 0 || (row.kind == Kind::kNpml && !chain.Recording())) continue;
                if (std::string why = row.whyNot(where); !why.empty())
                    std::printf("no %s: %s\n", row.name, why.c_str());
            }
        }
        if (chain.adcBits > 0)
            std::printf("%s\n", channel::Adc(chain.target, chain.adcBits).Describe().c_str());
    }

    void PointBegins(const BerPoint& p, const engine::ChannelDesign& design) override {
        soft_.clear();
        for (Kind kind : p.kinds)
            if (detectors::RowOf(kind).soft)
                soft_ =
                    choices::SoftNoiseText(design.DetectorNoise().front(),
                                           design.predictionVariance, design.settings.Recording());
        if (table_ && !headed_) {
            PrintHeader(p.kinds, options_.channel.estimator == engine::Estimator::kImportance);
            headed_ = true;
        }
        // One status line per point, so its rate and time left are the point's.
        progress_.emplace("bits", root_ && shared_ ? console::Progress::kAnyTerminal
                                                   : console::Progress::kStderr);
    }

    void Progress(const BerPoint& p, const engine::PointCounts& c) override {
        if (!root_) return;
        const std::size_t count =
            options_.sigmas.empty() ? options_.snrDbs.size() : options_.sigmas.size();
        std::string detail =
            "point " + std::to_string(p.index + 1) + "/" + std::to_string(count) + ", errors";
        for (std::size_t d = 0; d < c.detectors.size(); ++d)
            detail += std::string(d == 0 ? " " : ", ") + std::to_string(c.detectors[d].bitErrors) +
                      " " + KindName(p.kinds[d]);
        detail += ", sigma " + Number("%.4g", p.sigma);
        if (options_.channel.targets.size() > 1)
            detail = choices::ChainFor(options_.channel, p.target).TargetName() + " " + detail;
        progress_->Update(c.bits, options_.settings.bits, detail);
    }

    void PointDone(const BerPoint& p) override {
        Finish();
        if (!table_) return;
        PrintRow(p);
        if (options_.channel.targets[p.target].gpr > 0)
            std::printf("          %s\n", p.coefficients.c_str());
        if (!soft_.empty()) std::printf("          %s\n", soft_.c_str());
        if (options_.channel.chain.timing.on)
            std::printf("          timing: %llu frames slipped, rms timing error %s\n",
                        static_cast<unsigned long long>(p.counts.slipFrames),
                        Number("%.4g", p.counts.RmsPhase()).c_str());
    }

    void Finish() { progress_.reset(); }

  private:
    const BerOptions& options_;
    bool root_, table_, shared_;
    bool headed_ = false;
    std::string soft_; // what the point's soft detectors assume of the noise
    std::optional<console::Progress> progress_;
};

} // namespace

CLI::App* AddBerCommand(CLI::App& app, BerOptions& options) {
    CLI::App* cmd = app.add_subcommand("ber", "the detectors' bit-error rates against the noise");
    cmd->footer("Measures every detector's bit-error rate at each noise level, with the Viterbi\n"
                "detector's union bound beside them, as a table on standard output, for each\n"
                "target asked for (the same noise for all at a point). A point ends at --bits\n"
                "bits or once every detector has --errors errors, whichever comes first.\n"
                "On a head (--channel " +
                channel::HeadNames() +
                ") the equalizer, the npml predictor and a\n"
                "gprL target are designed at each point's SNR and jitter. --png draws the\n"
                "points as a chart (Qt Charts, no display needed). Progress shows on standard\n"
                "error when it is a terminal; Ctrl-C (or SIGTERM) stops, prints and writes the\n"
                "points finished so far and exits with 130 (143). Started by mpirun or srun,\n"
                "the processes share every point's work and give the same counts as one\n"
                "process; rank 0 prints and writes. See quorvane-lab --help for the model.");
    engine::BerSettings& s = options.settings;
    s.threads = choices::DefaultThreads();
    CLI::Option* sigma = AddChecked(*cmd, "--sigma", "noise deviations in levels, e.g. 0.3,0.4",
                                    [&options](const std::string& text) {
                                        options.snrDbs.clear();
                                        return choices::ParseSigmaList(text, options.sigmas);
                                    })
                             ->type_name("S[,S...]");
    CLI::Option* snr =
        AddChecked(*cmd, "--snr", "SNR points in dB, e.g. 10:20:0.5, or one, e.g. 25",
                   [&options](const std::string& text) {
                       options.sigmas.clear();
                       return choices::ParseSnrRange(text, options.snrDbs);
                   })
            ->type_name("DB|FROM:TO:STEP");
    sigma->excludes(snr);
    AddCount(*cmd, "--bits", s.bits, 1, choices::kMaxBits,
             "bits per point at most, rounded up to whole frames (default " +
                 Number("%g", static_cast<double>(s.bits)) + ")");
    AddCount(*cmd, "--errors", s.errors, 1, choices::kMaxErrors,
             "end a point once every detector has this many errors (default " +
                 std::to_string(s.errors) + ")");
    AddCount(*cmd, "--frame", s.frame, 1, choices::kMaxFrame,
             "bits per frame, each frame from an all-zero history (default " +
                 std::to_string(s.frame) + ")");
    AddCount(*cmd, "--seed", s.seed, 0, UINT64_MAX,
             "seed of the random bits and the noise (default " + std::to_string(s.seed) + ")");
    AddCount(*cmd, "--threads", s.threads, 1, choices::kMaxThreads,
             "worker threads (default: all cores); the counts do not depend on it");
    AddChannelOptions(*cmd, options.channel, choices::kBer, true);
    std::string always, head, named;
    for (const detectors::Row& row : detectors::Table()) {
        std::string& list = row.columns == detectors::Columns::kAlways   ? always
                            : row.columns == detectors::Columns::kOnHead ? head
                                                                         : named;
        list += std::string(list.empty() ? "" : ",") + row.name + "_errors," + row.name + "_ber";
    }
    cmd->add_option(
           "--csv", options.csv,
           "also write snr_db,sigma,bits," + always + ",union_bound; on a head " + head +
               " follow the last pair" +
               (named.empty() ? std::string() : ", and " + named + " for a detector named") +
               "; with several targets a target column comes first, and a detector "
               "that did not run leaves its two columns empty (\"-\" = standard output, "
               "which then gets only the CSV)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw the rates against SNR: measured points (those without errors "
                    "cannot sit on the logarithmic axis and are left out), the slicer's exact "
                    "rate and the Viterbi detector's union bound as lines, sigma along the top "
                    "(\"-\" = standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckBerOptions(BerOptions& options) {
    if (options.sigmas.empty() && options.snrDbs.empty())
        throw CLI::RequiredError("ber: --sigma or --snr");
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(options.png, options.width, options.height);
    CheckChannelOptions(options.channel);
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

    const engine::SweepSettings sweep =
        choices::SweepOf(options.channel, options.settings, options.sigmas, options.snrDbs);
    const std::size_t all = sweep.Levels() * sweep.chains.size();
    std::vector<BerPoint> points;
    BerReporter reporter(options, root, table, runner.Shared());
    const engine::SweepEnd end =
        engine::RunSweep(sweep, InterruptFlag(), reporter, points, runner.Peers());
    if (end == engine::SweepEnd::kLost) {
        // No file: the points of a run that lost a process are not written.
        reporter.Finish();
        std::fprintf(stderr,
                     "quorvane-lab (%s): a process of the MPI run is gone; stopped after "
                     "%zu of %zu points, nothing written\n",
                     runner.Where().c_str(), points.size(), all);
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(kExitFile);
    }
    // A shared run can be stopped by a signal to another of its processes:
    // then this one says so and exits as if it had been sent SIGTERM.
    const bool signalled = Interrupted();
    const bool interrupted = signalled || end == engine::SweepEnd::kStopped;
    const int status = !interrupted ? 0 : signalled ? InterruptStatus() : kExitTerminated;
    if (!root) return status;
    if (runner.Shared()) {
        if (const int failed = OpenFiles(); failed != 0) return failed;
    }

    if (csv) {
        choices::WriteBerCsv(csv->get(), options.channel, points);
        if (!(csv->Finish() && csv->Commit())) return FileError(options.csv, csv->error());
    }
    if (png) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(BerChart(options, points), png->get()) &&
            std::ferror(png->get()) == 0)
            return FileError(options.png, "PNG encoding failed");
        if (!(png->Finish() && png->Commit())) return FileError(options.png, png->error());
    }
    if (interrupted) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu of %zu points\n",
                     signalled ? InterruptName() : "a signal to another process of the run",
                     points.size(), all);
    }
    return FinishStdout(status);
}

} // namespace lab
