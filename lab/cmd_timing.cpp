// `quorvane-lab timing`: a frame read by a clock that is off, and the loop
// that follows it; or the loop's phase error and the error rate against its
// bandwidth.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "channel/bounds.h"
#include "choices/ber_table.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "engine/ber_sweep.h"
#include "engine/chain.h"
#include "engine/frame_timing.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

namespace lab {

using choices::Number;
namespace {

constexpr double kLockTolerance = engine::kLockTolerance;
constexpr int kTrackBits = 4096;
constexpr std::uint64_t kSweepBits = 1'000'000;

platform::ChartSeries Line(const std::string& name, platform::Colour colour, bool dashed = false) {
    platform::ChartSeries s;
    s.name = name;
    s.kind = platform::ChartSeries::Kind::Line;
    s.colour = colour;
    s.dashed = dashed;
    return s;
}

engine::ChainSettings ChainOf(const TimingOptions& options) {
    engine::ChainSettings chain = choices::ChainFor(options.channel, 0);
    chain.timing.on = true;
    return chain;
}

int WriteChart(const std::vector<platform::Chart>& charts, console::OutputFile& png,
               const std::string& name) {
    platform::OffscreenToolkit toolkit;
    if (!platform::WritePng(charts, png.get()) && std::ferror(png.get()) == 0)
        return FileError(name, "PNG encoding failed");
    if (!(png.Finish() && png.Commit())) return FileError(name, png.error());
    return 0;
}

int RunTrack(const TimingOptions& options, const engine::ChainSettings& chain, double sigma,
             std::optional<console::OutputFile>& csv, std::optional<console::OutputFile>& png) {
    const int bits = options.bits == 0 ? kTrackBits : static_cast<int>(options.bits);
    const engine::FrameTiming run = engine::TrackFrame(chain, sigma, bits, options.seed);
    const engine::TimingDesign& t = *run.design;
    const engine::TimingTrack& track = run.track;
    const int lock = run.lock;
    const bool table = options.csv != "-" && options.png != "-";
    if (table) {
        std::printf("%s, %s\n", choices::ChannelText(chain).c_str(),
                    choices::NoiseText(chain, sigma).c_str());
        const std::string decisions = chain.timing.decisions == channel::TedDecisions::kViterbi
                                          ? "; Viterbi decisions " +
                                                std::to_string(chain.timing.decisionDelay) +
                                                " samples late"
                                          : "";
        std::printf("loop: bandwidth %s, %s: kp %s, ki %s; detector slope %s%s\n",
                    Number("%g", chain.timing.bandwidth).c_str(),
                    chain.timing.order == 1
                        ? "first order"
                        : ("damping " + Number("%g", chain.timing.damping)).c_str(),
                    Number("%.4g", t.gains.kp).c_str(), Number("%.4g", t.gains.ki).c_str(),
                    Number("%.4g", t.slope).c_str(), decisions.c_str());
        std::printf("zero-phase start: %s (true phase %s at sample %d)\n",
                    Number("%.4f", track.start).c_str(),
                    Number("%.4f", track.truePhase[static_cast<std::size_t>(t.zpsEnd)]).c_str(),
                    t.zpsEnd);
        if (lock >= 0)
            std::printf("lock time: %d bits from sample %d (error within %s to the end)\n", lock,
                        track.trackFrom, Number("%g", kLockTolerance).c_str());
        else
            std::printf("lock time: none (the error is beyond %s at the end)\n",
                        Number("%g", kLockTolerance).c_str());
        std::printf("cycle slips: %d\n", track.slips);
        if (track.counted > 0)
            std::printf("rms timing error over the data: %s (linear model, settled: %s)\n",
                        Number("%.4g", std::sqrt(track.squares / track.counted)).c_str(),
                        Number("%.4g", t.LinearRms()).c_str());
    }
    if (csv) {
        std::fprintf(csv->get(), "k,true_phase,recovered_phase,timing_error\n");
        for (std::size_t j = 0; j < track.truePhase.size(); ++j)
            std::fprintf(csv->get(), "%zu,%.7g,%.7g,%.7g\n", j, track.truePhase[j],
                         track.recovered[j],
                         static_cast<double>(track.truePhase[j]) - track.recovered[j]);
        if (!(csv->Finish() && csv->Commit())) return FileError(options.csv, csv->error());
    }
    if (png) {
        platform::Chart c;
        c.width = options.width;
        c.height = options.height;
        c.title = "Sampling phase along a frame, " + chain.TargetName() + ", " +
                  choices::NoiseText(chain, sigma);
        c.subtitle = choices::ChannelText(chain) + "; phase " + Number("%g", chain.timing.phase) +
                     ", " + Number("%g", chain.timing.freqPpm) + " ppm, loop bandwidth " +
                     Number("%g", chain.timing.bandwidth) + ", " + std::to_string(track.slips) +
                     " slips";
        platform::ChartSeries truth = Line("true phase", 0x1F5FD0);
        platform::ChartSeries recovered = Line("recovered phase", 0xD02020);
        platform::ChartSeries error = Line("timing error", 0x209040);
        double lo = 0, hi = 0;
        for (std::size_t j = 0; j < track.truePhase.size(); ++j) {
            const double x = static_cast<double>(j);
            const double e = static_cast<double>(track.truePhase[j]) - track.recovered[j];
            truth.x.push_back(x), truth.y.push_back(track.truePhase[j]);
            recovered.x.push_back(x), recovered.y.push_back(track.recovered[j]);
            error.x.push_back(x), error.y.push_back(e);
            lo = std::min({lo, e, static_cast<double>(track.truePhase[j]),
                           static_cast<double>(track.recovered[j])});
            hi = std::max({hi, e, static_cast<double>(track.truePhase[j]),
                           static_cast<double>(track.recovered[j])});
        }
        const double pad = 0.05 * std::max(hi - lo, 0.1);
        c.x = {"sample k (bit periods from the preamble's start)",
               0,
               static_cast<double>(track.truePhase.size()),
               false,
               5,
               "%g"};
        c.y = {"phase (bit periods)", lo - pad, hi + pad, false, 6, "%.2f"};
        c.series = {truth, recovered, error};
        if (const int status = WriteChart({c}, *png, options.png); status != 0) return status;
    }
    return FinishStdout(0);
}

int RunBandwidths(const TimingOptions& options, engine::ChainSettings chain, double sigma,
                  std::optional<console::OutputFile>& csv,
                  std::optional<console::OutputFile>& png) {
    engine::BerSettings run;
    run.bits = options.bits == 0 ? kSweepBits : options.bits;
    run.errors = run.bits;
    run.frame = options.frame;
    run.seed = options.seed;
    run.threads = options.threads;
    const bool table = options.csv != "-" && options.png != "-";
    struct Row {
        double bandwidth;
        engine::BerPoint point;
        double kp, ki, model;
    };
    std::vector<Row> rows;
    if (table)
        std::printf("%s, %s\n%10s  %9s  %9s  %9s  %8s  %8s", choices::ChannelText(chain).c_str(),
                    choices::NoiseText(chain, sigma).c_str(), "bandwidth", "kp", "rms phase",
                    "linear", "slips", "frames");
    bool headed = false;
    for (double b : options.bandwidths) {
        if (Interrupted()) break;
        chain.timing.bandwidth = b;
        engine::BerSetup setup{chain, choices::NamedDetectors(options.channel)};
        engine::BerPoint p = engine::PointAt(chain, {sigma}, {}, 0);
        if (!engine::RunBerPoint(run, setup, engine::BoundEvents(chain), InterruptFlag(), p)) break;
        const engine::TimingDesign t =
            *engine::DesignChannel(chain, sigma).timing; // the loop's gains and model
        rows.push_back({b, p, t.gains.kp, t.gains.ki, t.LinearRms()});
        if (table) {
            if (!headed) {
                for (detectors::Kind k : p.kinds)
                    std::printf("  %10s", (std::string(detectors::KindName(k)) + " BER").c_str());
                std::printf("\n");
                headed = true;
            }
            const engine::Monitor* any =
                p.counts.detectors.empty() ? nullptr : &p.counts.detectors.front();
            std::printf("%10.4g  %9.3g  %9.4g  %9.4g  %8llu  %8llu", b, t.gains.kp,
                        p.counts.RmsPhase(), t.LinearRms(),
                        static_cast<unsigned long long>(p.counts.slipFrames),
                        static_cast<unsigned long long>(any ? any->frames : 0));
            for (const engine::Monitor& m : p.counts.detectors) std::printf("  %10.3e", m.Ber());
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    if (csv) {
        std::string header = "loop_bandwidth,kp,ki,rms_phase,linear_rms,slips,frames,bits";
        const std::vector<detectors::Kind> kinds =
            rows.empty() ? std::vector<detectors::Kind>{} : rows.front().point.kinds;
        for (detectors::Kind k : kinds)
            header += std::string(",") + detectors::KindName(k) + "_errors," +
                      detectors::KindName(k) + "_ber";
        std::fprintf(csv->get(), "%s\n", header.c_str());
        for (const Row& r : rows) {
            const engine::PointCounts& c = r.point.counts;
            std::fprintf(csv->get(), "%.9g,%.9g,%.9g,%.9g,%.9g,%llu,%llu,%llu", r.bandwidth, r.kp,
                         r.ki, c.RmsPhase(), r.model, static_cast<unsigned long long>(c.slipFrames),
                         static_cast<unsigned long long>(
                             c.detectors.empty() ? 0 : c.detectors.front().frames),
                         static_cast<unsigned long long>(c.bits));
            for (const engine::Monitor& m : c.detectors)
                std::fprintf(csv->get(), ",%llu,%.9g", static_cast<unsigned long long>(m.bitErrors),
                             m.Ber());
            std::fprintf(csv->get(), "\n");
        }
        if (!(csv->Finish() && csv->Commit())) return FileError(options.csv, csv->error());
    }
    if (png) {
        platform::Chart phase, rate;
        for (platform::Chart* c : {&phase, &rate}) {
            c->width = options.width / 2;
            c->height = options.height;
            c->subtitle = choices::ChannelText(chain) + ", " + choices::NoiseText(chain, sigma);
            c->x = {"loop bandwidth B_L T",
                    options.bandwidths.front(),
                    options.bandwidths.back(),
                    false,
                    5,
                    "%g"};
        }
        phase.title = "RMS timing error against loop bandwidth";
        rate.title = "Bit-error rate against loop bandwidth";
        platform::ChartSeries measured = Line("measured", 0xD02020);
        measured.kind = platform::ChartSeries::Kind::LinePoints;
        platform::ChartSeries model = Line("linear model", 0x1F5FD0, true);
        double top = 1e-3, lowest = 1, highest = 1e-12;
        std::vector<platform::ChartSeries> rates;
        for (const Row& r : rows) {
            measured.x.push_back(r.bandwidth), measured.y.push_back(r.point.counts.RmsPhase());
            model.x.push_back(r.bandwidth), model.y.push_back(r.model);
            top = std::max({top, r.point.counts.RmsPhase(), r.model});
            for (std::size_t d = 0; d < r.point.kinds.size(); ++d) {
                if (rates.size() <= d) {
                    rates.push_back(Line(detectors::KindTitle(r.point.kinds[d]),
                                         detectors::RowOf(r.point.kinds[d]).colour));
                    rates.back().kind = platform::ChartSeries::Kind::LinePoints;
                }
                const double ber = r.point.counts.detectors[d].Ber();
                if (ber <= 0) continue;
                rates[d].x.push_back(r.bandwidth), rates[d].y.push_back(ber);
                lowest = std::min(lowest, ber), highest = std::max(highest, ber);
            }
        }
        phase.y = {"RMS timing error (bit periods)", 0, top * 1.1, false, 6, "%.3g"};
        phase.series = {measured, model};
        if (highest < lowest) lowest = 1e-6, highest = 1;
        rate.y = {"bit-error rate",
                  std::pow(10.0, std::floor(std::log10(lowest))),
                  std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest) + 1e-9))),
                  true,
                  0,
                  "%.0e"};
        rate.series = rates;
        if (const int status = WriteChart({phase, rate}, *png, options.png); status != 0)
            return status;
    }
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu of %zu bandwidths\n",
                     InterruptName(), rows.size(), options.bandwidths.size());
        return FinishStdout(InterruptStatus());
    }
    return FinishStdout(0);
}

} // namespace

CLI::App* AddTimingCommand(CLI::App& app, TimingOptions& options) {
    CLI::App* cmd = app.add_subcommand(
        "timing", "a frame read by a clock that is off, and the timing loop that follows it");
    cmd->footer(
        "Reads one frame of --bits bits (default 4096) after its preamble with the sampling\n"
        "clock of the timing options and prints the zero-phase start's estimate, the lock\n"
        "time (samples from the loop's start until the timing error stays within 0.05 bit\n"
        "periods to the frame's end), the cycle slips and the RMS timing error; --csv writes\n"
        "k,true_phase,recovered_phase,timing_error for every sample from the preamble's\n"
        "start, --png draws them. With --loop-bandwidth FROM:TO:STEP it runs ber's engine at\n"
        "each bandwidth (--bits bits a point, default 1e6, frames of --frame bits) and writes\n"
        "loop_bandwidth,kp,ki,rms_phase,linear_rms,slips,frames,bits and each detector's\n"
        "errors and BER (linear_rms: the loop's linear model with the detector's noise from\n"
        "the equalized noise as designed, decisions taken as right). See quorvane-lab --help\n"
        "for the model.");
    options.command = cmd;
    options.threads = choices::DefaultThreads();
    AddNoiseLevel(*cmd, options.noise, "noise deviation in levels");
    AddCount(*cmd, "--bits", options.bits, 64, choices::kMaxBits,
             "the frame's bits (default 4096), or with a bandwidth range the bits of each point "
             "(default 1e6)");
    AddCount(*cmd, "--frame", options.frame, 64, choices::kMaxFrame,
             "bits per frame of a bandwidth range's points (default 4096)");
    AddCount(*cmd, "--seed", options.seed, 0, UINT64_MAX, "seed of the bits and the noise");
    AddCount(*cmd, "--threads", options.threads, 1, choices::kMaxThreads,
             "worker threads of a bandwidth range (default: all cores)");
    AddChecked(*cmd, "--loop-bandwidth",
               "the loop's noise bandwidth B_L T, B or FROM:TO:STEP, " +
                   Number("%g", channel::kMinLoopBandwidth) + " ... " +
                   Number("%g", channel::kMaxLoopBandwidth) + " (default " +
                   Number("%g", channel::TimingSettings{}.bandwidth) + ")",
               [&options](const std::string& text) {
                   return choices::ParseRange(text, channel::kMinLoopBandwidth,
                                              channel::kMaxLoopBandwidth, "B", options.bandwidths);
               })
        ->type_name("B|FROM:TO:STEP");
    AddChannelOptions(*cmd, options.channel, choices::kBer, false, {"--loop-bandwidth"});
    cmd->add_option("--csv", options.csv,
                    "also write the track or the points (\"-\" = standard "
                    "output, which then gets only the CSV)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw them (\"-\" = standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckTimingOptions(TimingOptions& options) {
    if (options.command->count("--sigma") + options.command->count("--snr") == 0)
        throw CLI::RequiredError("timing: --sigma or --snr");
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(options.png, options.width, options.height);
    CheckChannelOptions(options.channel);
    if (options.channel.targets.size() > 1)
        throw CLI::ValidationError("--target", "timing takes one target");
    if (options.bits > static_cast<std::uint64_t>(choices::kMaxFrame) &&
        options.bandwidths.size() < 2)
        throw CLI::ValidationError("--bits", "a frame of at most " +
                                                 std::to_string(choices::kMaxFrame) + " bits");
}

int RunTiming(const TimingOptions& options) {
    CatchInterrupt();
    std::optional<console::OutputFile> csv, png;
    for (auto [file, name] : {std::pair{&csv, &options.csv}, std::pair{&png, &options.png}}) {
        if (name->empty()) continue;
        file->emplace();
        if (!(*file)->Open(*name)) return FileError(*name, (*file)->error());
    }
    engine::ChainSettings chain = ChainOf(options);
    if (options.bandwidths.size() == 1) chain.timing.bandwidth = options.bandwidths.front();
    const double sigma = options.noise.Sigma(engine::SignalEnergy(chain));
    if (options.bandwidths.size() > 1) return RunBandwidths(options, chain, sigma, csv, png);
    return RunTrack(options, chain, sigma, csv, png);
}

} // namespace lab
