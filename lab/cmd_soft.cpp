// `quorvane-lab llr` and `quorvane-lab exit`: what the soft detectors' ratios
// are worth, and how much a-priori knowledge they turn into extrinsic.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/bounds.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/outputs.h"
#include "platform/picture.h"

namespace lab {

using choices::Number;

namespace {

// The run's settings, its detectors checked to be soft.
engine::SoftSettings SoftOf(const engine::SoftSettings& base, const choices::ChannelChoice& c,
                            double sigma) {
    engine::SoftSettings s = base;
    s.chain = choices::ChainFor(c, 0);
    choices::SoftDetectors(c, s.detectors);
    s.sigma = sigma;
    return s;
}

void AddRunOptions(CLI::App& cmd, engine::SoftSettings& s, const char* bits) {
    s.threads = choices::DefaultThreads();
    AddCount(cmd, "--bits", s.bits, 1, choices::kMaxBits,
             std::string(bits) + " (default " + Number("%g", static_cast<double>(s.bits)) +
                 "), rounded up to whole frames");
    AddCount(cmd, "--frame", s.frame, 1, choices::kMaxFrame,
             "bits per frame (default " + std::to_string(s.frame) + ")");
    AddCount(cmd, "--seed", s.seed, 0, UINT64_MAX,
             "seed of the random bits, the noise and the a-priori ratios (default " +
                 std::to_string(s.seed) + ")");
    AddCount(cmd, "--threads", s.threads, 1, choices::kMaxThreads,
             "worker threads (default: all cores); the results do not depend on it");
}

void CheckSoft(const choices::ChannelChoice& c) {
    CheckChannelOptions(c);
    std::vector<detectors::Kind> kinds;
    if (std::string error = choices::SoftDetectors(c, kinds); !error.empty())
        throw CLI::ValidationError("--detector", error);
    if (c.targets.size() != 1) throw CLI::ValidationError("--target", "takes one target here");
}

platform::ChartSeries Line(std::string name, platform::Colour colour, bool dashed) {
    platform::ChartSeries s;
    s.name = std::move(name);
    s.kind = platform::ChartSeries::Kind::Line;
    s.colour = colour;
    s.dashed = dashed;
    return s;
}

// Left: the ratios' densities given the bit (a 0 solid, a 1 dashed); right:
// the error rate measured in each bin of |L| against the rate the ratios
// claim there, the diagonal dotted.
std::vector<platform::Chart> LlrCharts(const LlrOptions& o, const engine::SoftResult& r,
                                       const std::string& subtitle) {
    using S = engine::LlrStatistics;
    platform::Chart h, rel;
    h.width = rel.width = o.width / 2;
    h.height = rel.height = o.height;
    h.title = "Ratios given the bit (0 solid, 1 dashed)";
    rel.title = "Reliability (dotted: as claimed)";
    h.subtitle = rel.subtitle = subtitle;
    double lo = S::kReach, hi = -S::kReach, top = 0, bottom = 1;
    for (std::size_t d = 0; d < r.kinds.size(); ++d) {
        const S& s = r.statistics[d];
        const detectors::Row& row = detectors::RowOf(r.kinds[d]);
        for (int b = 0; b < 2; ++b) {
            // One legend entry a detector: bit 0 solid, bit 1 dashed (the
            // title says so), so that four detectors fit half a picture.
            platform::ChartSeries series = Line(row.name, row.colour, b == 1);
            series.inLegend = b == 0;
            std::uint64_t total = 0;
            for (std::uint64_t c : s.counts[b]) total += c;
            for (int i = 1; i + 1 < S::kBins && total > 0; ++i) {
                if (s.counts[b][i] == 0) continue;
                const double p = double(s.counts[b][i]) / double(total) / S::kBin;
                series.x.push_back(S::Middle(i));
                series.y.push_back(p);
                lo = std::min(lo, S::Middle(i));
                hi = std::max(hi, S::Middle(i));
                top = std::max(top, p);
                bottom = std::min(bottom, p);
            }
            h.series.push_back(series);
        }
        platform::ChartSeries points;
        points.name = row.name;
        points.kind = platform::ChartSeries::Kind::LinePoints;
        points.colour = row.colour;
        for (int i = 0; i < S::kReliabilityBins; ++i) {
            if (s.wrongInBin[i] == 0) continue; // no place on a logarithmic axis
            points.x.push_back(s.claimedInBin[i] / double(s.inBin[i]));
            points.y.push_back(double(s.wrongInBin[i]) / double(s.inBin[i]));
        }
        rel.series.push_back(points);
    }
    if (hi < lo) lo = -1, hi = 1;
    // Four steps each side, a step a whole number (a multiple of 5 from 5
    // on), so that the 9 labels read.
    const double step = std::ceil(std::max(std::fabs(lo), std::fabs(hi)) / 4);
    const double span = 4 * (step > 5 ? 5 * std::ceil(step / 5) : step);
    h.x = {"L = ln P(0 | y) / P(1 | y)", -span, span, false, 9, "%g"};
    if (top <= 0) top = 1, bottom = 1e-3;
    h.y = {"density",
           std::pow(10.0, std::floor(std::log10(bottom))),
           std::pow(10.0, std::ceil(std::log10(top))),
           true,
           0,
           "%.0e"};
    double least = 0.5;
    for (const platform::ChartSeries& s : rel.series)
        for (std::size_t i = 0; i < s.x.size(); ++i) least = std::min({least, s.x[i], s.y[i]});
    least = std::pow(10.0, std::floor(std::log10(std::max(least, 1e-9))));
    platform::ChartSeries diagonal = Line("claimed = measured", 0x808080, false);
    diagonal.dotted = true;
    diagonal.inLegend = false; // the title names it
    diagonal.x = {least, 0.5};
    diagonal.y = {least, 0.5};
    rel.series.insert(rel.series.begin(), diagonal);
    rel.x = {"claimed error rate 1 / (1 + e^|L|)", least, 1, true, 0, "%.0e"};
    rel.y = {"measured error rate", least, 1, true, 0, "%.0e"};
    return {h, rel};
}

void WriteLlrCsv(std::FILE* f, const engine::SoftResult& r) {
    using S = engine::LlrStatistics;
    std::fputs("detector,table,from,to,count_0,count_1,measured,claimed\n", f);
    for (std::size_t d = 0; d < r.kinds.size(); ++d) {
        const S& s = r.statistics[d];
        const char* name = detectors::KindName(r.kinds[d]);
        std::fprintf(f, "%s,information,,,,,%.9g,%.9g\n", name, s.MutualInformation(),
                     s.AverageInformation());
        for (int i = 0; i < S::kBins; ++i) {
            if (s.counts[0][i] == 0 && s.counts[1][i] == 0) continue;
            // The end bins reach out to infinity.
            const double from = -S::kReach + i * S::kBin, to = from + S::kBin;
            std::fprintf(f, "%s,histogram,%s,%s,%llu,%llu,,\n", name,
                         i == 0 ? "-inf" : Number("%.9g", from).c_str(),
                         i + 1 == S::kBins ? "inf" : Number("%.9g", to).c_str(),
                         static_cast<unsigned long long>(s.counts[0][i]),
                         static_cast<unsigned long long>(s.counts[1][i]));
        }
        for (int i = 0; i < S::kReliabilityBins; ++i) {
            if (s.inBin[i] == 0) continue;
            const double from = i * S::kReliabilityBin;
            std::fprintf(f, "%s,reliability,%.9g,%s,%llu,%llu,%.9g,%.9g\n", name, from,
                         i + 1 == S::kReliabilityBins
                             ? "inf"
                             : Number("%.9g", from + S::kReliabilityBin).c_str(),
                         static_cast<unsigned long long>(s.inBin[i]),
                         static_cast<unsigned long long>(s.wrongInBin[i]),
                         double(s.wrongInBin[i]) / double(s.inBin[i]),
                         s.claimedInBin[i] / double(s.inBin[i]));
        }
    }
}

} // namespace

CLI::App* AddLlrCommand(CLI::App& app, LlrOptions& options) {
    CLI::App* cmd =
        app.add_subcommand("llr", "what the soft detectors' log-likelihood ratios are worth");
    cmd->footer(
        "Runs random frames through the channel and the soft detectors named (by default every\n"
        "one that applies) at one noise level, and gathers each one's ratios L = ln P(raw = 0 |\n"
        "y) / P(raw = 1 | y): the histogram of L given the true bit, the reliability curve (in\n"
        "bins of |L| the measured error rate against 1 / (1 + e^|L|), the rate the ratios\n"
        "claim), and the mutual information between the bit and its ratio from the\n"
        "histograms, beside 1 - E[log2(1 + e^(-L (1 - 2b)))], which equals it only for\n"
        "consistent ratios (max-log and SOVA claim more than they know). --csv writes\n"
        "detector,table,from,to,count_0,count_1,measured,claimed: an information row (measured\n"
        "the histograms', claimed the average's), the histogram's bins (count_0 and count_1\n"
        "the bits of each value in the bin) and the reliability bins (count_0 bits, count_1\n"
        "wrong ones, the measured and claimed rates); --png draws both. See quorvane-lab --help\n"
        "for the model.");
    AddRunOptions(*cmd, options.settings, "data bits");
    AddNoiseLevel(*cmd, options.noise,
                  "noise deviation in levels (default " + Number("%g", options.noise.sigma) + ")");
    AddChannelOptions(*cmd, options.channel, choices::kLlr, false);
    cmd->add_option("--csv", options.csv,
                    "also write the statistics as CSV (\"-\" = standard output)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw the histograms and the reliability curves (\"-\" = standard output)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckLlrOptions(const LlrOptions& o) {
    if (o.csv == "-" && o.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(o.png, o.width / 2, o.height);
    CheckSoft(o.channel);
}

int RunLlr(const LlrOptions& o) {
    console::OutputFile csv, png;
    if (int status = Open(csv, o.csv)) return status;
    if (int status = Open(png, o.png)) return status;
    CatchInterrupt();
    const engine::ChainSettings chain = choices::ChainFor(o.channel, 0);
    const double sigma = o.noise.Sigma(engine::SignalEnergy(chain));
    const engine::SoftSettings settings = SoftOf(o.settings, o.channel, sigma);
    engine::SoftResult r;
    {
        console::Progress progress("bits");
        engine::RunSoft(settings, InterruptFlag(), r,
                        [&](std::uint64_t bits) { progress.Update(bits, settings.bits); });
    }
    const std::string subtitle = chain.TargetName() + ", " + choices::ChannelText(chain) + ", " +
                                 choices::NoiseText(chain, sigma);
    if (o.csv != "-" && o.png != "-") {
        std::printf("target %s, %s, %s, %llu bits; %s\n", chain.TargetName().c_str(),
                    choices::ChannelText(chain).c_str(), choices::NoiseText(chain, sigma).c_str(),
                    static_cast<unsigned long long>(r.bits),
                    choices::SoftNoiseText(r.noiseVariance, r.predictionVariance, chain.Recording())
                        .c_str());
        std::printf("%-8s  %12s  %11s  %15s  %12s\n", "detector", "bit errors", "BER",
                    "MI (histograms)", "MI (average)");
        for (std::size_t d = 0; d < r.kinds.size(); ++d) {
            const engine::LlrStatistics& s = r.statistics[d];
            std::printf("%-8s  %12llu  %11.4e  %15.6f  %12.6f\n", KindName(r.kinds[d]),
                        static_cast<unsigned long long>(s.errors), s.Ber(), s.MutualInformation(),
                        s.AverageInformation());
        }
    }
    if (csv.get() != nullptr) WriteLlrCsv(csv.get(), r);
    if (int status = Finish(csv, o.csv)) return status;
    if (int status = WriteCharts(png, o.png, LlrCharts(o, r, subtitle))) return status;
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %llu bits\n", InterruptName(),
                     static_cast<unsigned long long>(r.bits));
        return InterruptStatus();
    }
    return FinishStdout(0);
}

CLI::App* AddExitCommand(CLI::App& app, ExitOptions& options) {
    CLI::App* cmd =
        app.add_subcommand("exit", "the soft detectors' extrinsic information transfer");
    cmd->footer(
        "For each soft detector named (by default every one that applies) and each noise level,\n"
        "the detector's transfer curve: a-priori ratios L_A = (sigma_A^2 / 2)(1 - 2b) + sigma_A n\n"
        "(n standard normal, sigma_A = J^-1(I_A), J ten Brink's function) fed in with the\n"
        "samples, at --points values of I_A from 0 to 0.999, and the mutual information I_E of\n"
        "the extrinsic ratios out (posterior less a-priori), from their histograms given the\n"
        "bit. Every point sees the same channel noise and the same n. --csv writes\n"
        "detector,snr_db,ia,ie; --png draws I_E against I_A. See quorvane-lab --help for the\n"
        "model.");
    options.settings.bits = 200'000;
    AddRunOptions(*cmd, options.settings, "data bits per point");
    CLI::Option* sigma = AddChecked(*cmd, "--sigma", "noise deviations in levels, e.g. 0.3,0.4",
                                    [&options](const std::string& text) {
                                        options.snrDbs.clear();
                                        return choices::ParseSigmaList(text, options.sigmas);
                                    })
                             ->type_name("S[,S...]");
    CLI::Option* snr = AddChecked(*cmd, "--snr", "SNRs in dB, e.g. 14,16 or 12:18:2",
                                  [&options](const std::string& text) {
                                      options.sigmas.clear();
                                      return text.find(':') != std::string::npos
                                                 ? choices::ParseSnrRange(text, options.snrDbs)
                                                 : choices::ParseSnrList(text, options.snrDbs);
                                  })
                           ->type_name("DB[,DB...]|FROM:TO:STEP");
    sigma->excludes(snr);
    AddCount(*cmd, "--points", options.points, 2, 101,
             "values of I_A from 0 to 0.999 (default " + std::to_string(options.points) + ")");
    AddChannelOptions(*cmd, options.channel, choices::kExit, false);
    cmd->add_option("--csv", options.csv,
                    "also write detector,snr_db,ia,ie (\"-\" = standard output)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png, "also draw the curves (\"-\" = standard output)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckExitOptions(ExitOptions& o) {
    if (o.sigmas.empty() && o.snrDbs.empty()) throw CLI::RequiredError("exit: --sigma or --snr");
    if (o.csv == "-" && o.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(o.png, o.width, o.height);
    CheckSoft(o.channel);
}

int RunExit(const ExitOptions& o) {
    console::OutputFile csv, png;
    if (int status = Open(csv, o.csv)) return status;
    if (int status = Open(png, o.png)) return status;
    CatchInterrupt();
    const engine::ChainSettings chain = choices::ChainFor(o.channel, 0);
    const double energy = engine::SignalEnergy(chain);
    std::vector<double> ia;
    for (int i = 0; i < o.points; ++i) ia.push_back(0.999 * i / (o.points - 1));
    const bool table = o.csv != "-" && o.png != "-";
    if (csv.get() != nullptr) std::fputs("detector,snr_db,ia,ie\n", csv.get());
    platform::Chart chart;
    chart.width = o.width;
    chart.height = o.height;
    chart.title = "Extrinsic information transfer, " + chain.TargetName();
    chart.subtitle = choices::ChannelText(chain);
    chart.x = {"a-priori information I_A", 0, 1, false, 11, "%g"};
    chart.y = {"extrinsic information I_E", 0, 1, false, 11, "%g"};
    chart.legendRight = true;
    const std::size_t levels = std::max(o.sigmas.size(), o.snrDbs.size());
    std::vector<detectors::Kind> kinds;
    choices::SoftDetectors(o.channel, kinds);
    bool stopped = false;
    for (std::size_t l = 0; l < levels && !stopped; ++l) {
        const double sigma =
            o.snrDbs.empty() ? o.sigmas[l] : channel::SigmaOfSnr(energy, o.snrDbs[l]);
        const double db = channel::SnrDb(energy, sigma);
        for (detectors::Kind kind : kinds) {
            engine::SoftSettings settings = SoftOf(o.settings, o.channel, sigma);
            std::vector<engine::ExitPoint> curve;
            console::Progress progress("bits");
            const std::uint64_t total = settings.bits * ia.size();
            if (!engine::ExitCurve(settings, kind, ia, InterruptFlag(), curve,
                                   [&](std::size_t i, std::uint64_t bits) {
                                       progress.Update(i * settings.bits + bits, total,
                                                       KindName(kind));
                                   })) {
                stopped = true;
                break;
            }
            progress.Finish();
            platform::ChartSeries s;
            s.name = std::string(KindName(kind)) + ", " + Number("%.4g", db) + " dB";
            s.kind = platform::ChartSeries::Kind::LinePoints;
            s.colour = detectors::RowOf(kind).colour;
            s.dashed = l % 2 == 1;
            if (table) std::printf("%s at %.2f dB (sigma %.4g):", KindName(kind), db, sigma);
            for (const engine::ExitPoint& p : curve) {
                s.x.push_back(p.ia);
                s.y.push_back(p.ie);
                if (table) std::printf(" %.3f", p.ie);
                if (csv.get() != nullptr)
                    std::fprintf(csv.get(), "%s,%.9g,%.9g,%.9g\n", KindName(kind), db, p.ia, p.ie);
            }
            if (table) std::printf("\n");
            chart.series.push_back(s);
        }
    }
    platform::ChartSeries diagonal;
    diagonal.name = "I_E = I_A";
    diagonal.colour = 0x808080;
    diagonal.dotted = true;
    diagonal.x = {0, 1};
    diagonal.y = {0, 1};
    chart.series.push_back(diagonal);
    if (int status = Finish(csv, o.csv)) return status;
    if (int status = WriteCharts(png, o.png, {chart})) return status;
    if (stopped) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s\n", InterruptName());
        return InterruptStatus();
    }
    return FinishStdout(0);
}

} // namespace lab
