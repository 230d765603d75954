// `quorvane-lab sfr`: the sector failure rate of an iterative LDPC read
// channel against the classical Viterbi plus Reed-Solomon one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "channel/bounds.h"
#include "choices/codes.h"
#include "choices/texts.h"
#include "console/progress.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "lab/outputs.h"

namespace lab {

using choices::Number;

namespace {

struct PointLine {
    engine::SectorGeometry g;
    engine::SectorCounts c;
};

double Ratio(std::uint64_t a, std::uint64_t b) {
    return b == 0 ? 0.0 : static_cast<double>(a) / static_cast<double>(b);
}

void WriteCsvRow(std::FILE* f, const PointLine& p, bool timing) {
    const engine::SectorCounts& c = p.c;
    std::fprintf(f, "%.9g,%.9g,%llu,%llu,%llu,%.9g,%llu,%.9g,%.9g,%.9g,%llu,%.9g", p.g.snrDb,
                 p.g.sigmaUser, static_cast<unsigned long long>(c.sectors),
                 static_cast<unsigned long long>(c.failed),
                 static_cast<unsigned long long>(c.undetected), Ratio(c.Errors(), c.sectors),
                 static_cast<unsigned long long>(c.bitErrors), Ratio(c.bitErrors, c.userBits),
                 Ratio(c.rawErrors, c.rawBits), Ratio(c.iterations, c.sectors),
                 static_cast<unsigned long long>(c.rsFailed), Ratio(c.rsFailed, c.sectors));
    if (timing)
        std::fprintf(f, ",%llu,%.9g", static_cast<unsigned long long>(c.slipped), c.RmsPhase());
    std::fputc('\n', f);
}

platform::Chart SfrChart(const SfrOptions& o, const std::vector<PointLine>& points,
                         const std::string& subtitle) {
    platform::Chart chart;
    chart.width = o.width;
    chart.height = o.height;
    chart.title = "Sector failure rate, " + o.settings.code->name;
    chart.subtitle = subtitle;
    platform::ChartSeries ldpc, rs, raw;
    ldpc.name = std::string(detectors::KindName(o.settings.detector)) + " + LDPC, " +
                std::to_string(o.settings.global) + " rounds";
    ldpc.kind = rs.kind = raw.kind = platform::ChartSeries::Kind::LinePoints;
    ldpc.colour = detectors::RowOf(o.settings.detector).colour;
    rs.name = "hard detector + RS, t " + std::to_string(points.empty() ? 0 : points[0].g.rsT);
    rs.colour = 0x404040;
    raw.name = "raw BER of the soft detector";
    raw.colour = ldpc.colour;
    raw.dashed = true;
    double lo = 1, x0 = 0, x1 = 1;
    for (const PointLine& p : points) {
        const double db = p.g.snrDb;
        auto put = [&](platform::ChartSeries& s, double v) {
            if (v <= 0) return;
            s.x.push_back(db);
            s.y.push_back(v);
            lo = std::min(lo, v);
        };
        put(ldpc, Ratio(p.c.Errors(), p.c.sectors));
        put(rs, Ratio(p.c.rsFailed, p.c.sectors));
        put(raw, Ratio(p.c.rawErrors, p.c.rawBits));
    }
    if (!points.empty()) {
        x0 = points.front().g.snrDb;
        x1 = points.back().g.snrDb;
        if (x1 <= x0) x0 -= 0.5, x1 += 0.5;
    }
    chart.x = {"SNR of the uncoded channel at the user density (dB)", x0, x1, false, 6, "%g"};
    chart.y = {"rate", std::pow(10.0, std::floor(std::log10(std::max(lo, 1e-12)))), 1, true, 0,
               "%.0e"};
    chart.series = {ldpc, rs, raw};
    return chart;
}

} // namespace

CLI::App* AddSfrCommand(CLI::App& app, SfrOptions& options) {
    CLI::App* cmd = app.add_subcommand(
        "sfr", "sector failure rates: iterative LDPC detection against Viterbi plus Reed-Solomon");
    cmd->footer(
        "Each sector's user bits are encoded by the LDPC code, written (by default without the\n"
        "target's precoder), read by the soft detector, whose extrinsic ratios the decoder takes;\n"
        "--global rounds hand the decoder's extrinsic ratios back to the detector as a-priori\n"
        "ones, and stop once the syndrome is zero. A sector fails when the decoder ends with a\n"
        "nonzero syndrome; a zero syndrome with wrong user bits is undetected; both are sector\n"
        "errors (sfr). Beside it the classical channel: the same user bits with a Reed-Solomon\n"
        "code over GF(2^10) correcting --rs-t symbols a word (4 KiB sectors take several\n"
        "interleaved words), the precoder, the Viterbi detector (npml on a head), and a sector\n"
        "lost when a word has more than t wrong symbols (counted, so no RS decoder is needed).\n"
        "On a head both write at the channel density D / R of their rate R and the noise's\n"
        "spectral density is held, sigma^2 per channel sample = sigma_u^2 / R; the SNR is the\n"
        "uncoded channel's at the user density D (the head's E_i over sigma_u^2). On the ideal\n"
        "channel sigma is per channel sample and Eb/N0 per user bit is printed beside it.\n"
        "--csv writes snr_db,sigma,sectors,failed,undetected,sfr,bit_errors,ber,raw_ber,\n"
        "mean_iterations,rs_failed,rs_sfr (mean_iterations: local iterations a sector, all\n"
        "rounds). A point ends after --sectors sectors or --failures sector errors; the counts\n"
        "do not depend on --threads. With any timing option (--phase, --freq-offset, ...) every\n"
        "sector of both channels follows its own preamble and is read through the clock and the\n"
        "timing loop as ber reads a frame; the CSV then gains slips,rms_phase: the LDPC\n"
        "channel's sectors whose loop slipped a cycle (counted apart, and also as failed,\n"
        "undetected or right as the decoder ended: a slipped sector fails unless the decoder\n"
        "happens to succeed) and the RMS timing error over the others' data.\n"
        "See quorvane-lab --help for the model.");
    engine::SectorSettings& s = options.settings;
    s.threads = choices::DefaultThreads();
    CLI::Option* sigma =
        AddChecked(*cmd, "--sigma", "noise deviations of the uncoded channel, e.g. 0.3,0.4",
                   [&options](const std::string& text) {
                       options.snrDbs.clear();
                       return choices::ParseSigmaList(text, options.sigmas);
                   })
            ->type_name("S[,S...]");
    CLI::Option* snr = AddChecked(*cmd, "--snr", "SNRs in dB, e.g. 14 or 12:18:0.5",
                                  [&options](const std::string& text) {
                                      options.sigmas.clear();
                                      return choices::ParseSnrRange(text, options.snrDbs);
                                  })
                           ->type_name("DB|FROM:TO:STEP");
    sigma->excludes(snr);
    AddChecked(*cmd, "--code",
               "the LDPC code: a built-in one's name or an alist file (default "
               "sector512; quorvane-lab code lists them)",
               [&options](const std::string& text) {
                   options.code = text;
                   return std::string();
               })
        ->type_name("NAME|FILE");
    AddChecked(
        *cmd, "--decoder",
        "nms (layered normalized min-sum, the default), oms (layered offset min-sum) or "
        "sp (flooding sum-product)",
        [&s](const std::string& text) { return choices::ParseDecoder(text, s.decoder.algorithm); })
        ->type_name("nms|oms|sp");
    AddChecked(*cmd, "--messages",
               "the decoder's arithmetic: the fast layered decoder in int16 (the default: "
               "16 sectors a register with AVX2, 32 with AVX-512, the float decoder's sector "
               "failure rate), int8 (twice the sectors, ratios clipped at 7.75: more failures "
               "in the waterfall) or float, or plain (the plain float decoder, one sector at "
               "a time: the oracle; sp has only this one)",
               [&options](const std::string& text) {
                   options.messagesGiven = true;
                   return choices::ParseMessages(text, options.settings.messages);
               })
        ->type_name("int8|int16|float|plain");
    AddChecked(*cmd, "--normalization",
               "nms's factor on the check messages, in (0, 1] (default " +
                   Number("%g", s.decoder.normalization) + ")",
               [&s](const std::string& text) {
                   double v = 0;
                   if (std::string e = choices::ParseNumber(text, v); !e.empty()) return e;
                   if (std::string e = choices::CheckNormalization(v, text); !e.empty()) return e;
                   s.decoder.normalization = static_cast<float>(v);
                   return std::string();
               })
        ->type_name("A");
    AddChecked(*cmd, "--offset",
               "oms's offset on the check messages, a ratio >= 0 (default " +
                   Number("%g", s.decoder.offset) + ")",
               [&s](const std::string& text) {
                   double v = 0;
                   if (std::string e = choices::ParseNumber(text, v); !e.empty()) return e;
                   if (std::string e = choices::CheckOffset(v, text); !e.empty()) return e;
                   s.decoder.offset = static_cast<float>(v);
                   return std::string();
               })
        ->type_name("B");
    AddCount(*cmd, "--local", s.decoder.maxIterations, 1, codes::kMaxIterations,
             "decoder iterations a global round (default " +
                 std::to_string(s.decoder.maxIterations) + ")");
    AddCount(*cmd, "--global", s.global, 1, 20,
             "rounds between the detector and the decoder (default " + std::to_string(s.global) +
                 ")");
    AddChecked(*cmd, "--precoder",
               "auto: the target's parity precoder where it has one; none (the default for the "
               "coded channel, since the precoder's error propagation hurts iterative "
               "detection); the classical channel always has it",
               [&s](const std::string& text) {
                   std::string name;
                   if (std::string e = choices::ParseName(text, {"auto", "none"}, name); !e.empty())
                       return e;
                   s.precoder = name == "auto";
                   return std::string();
               })
        ->type_name("auto|none");
    AddCount(*cmd, "--rs-t", s.rsT, 0, 511,
             "symbols a Reed-Solomon word corrects (default: the t whose rate is nearest the "
             "LDPC code's)");
    AddCount(*cmd, "--sectors", s.sectors, 1, choices::kMaxBits,
             "sectors a point (default " + std::to_string(s.sectors) + ")");
    AddCount(*cmd, "--failures", s.failures, 1, choices::kMaxBits,
             "or until this many sector errors of the iterative channel (default " +
                 std::to_string(s.failures) + ")");
    AddCount(*cmd, "--seed", s.seed, 0, UINT64_MAX,
             "seed of the user bits and the noise (default " + std::to_string(s.seed) + ")");
    AddCount(*cmd, "--threads", s.threads, 1, choices::kMaxThreads,
             "worker threads (default: all cores); the counts do not depend on it");
    AddChannelOptions(*cmd, options.channel, choices::kSfr, false);
    cmd->add_option("--csv", options.csv, "also write the points as CSV (\"-\" = standard output)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png, "also draw the rates (\"-\" = standard output)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckSfrOptions(SfrOptions& o) {
    if (o.sigmas.empty() && o.snrDbs.empty()) throw CLI::RequiredError("sfr: --sigma or --snr");
    if (o.csv == "-" && o.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    CheckChartSize(o.png, o.width, o.height);
    if (o.messagesGiven)
        if (std::string e =
                choices::CheckMessages(o.settings.decoder.algorithm, o.settings.messages);
            !e.empty())
            throw CLI::ValidationError("--messages", e);
    if (const choices::Refusal r = choices::SectorChoice(o.channel, o.code, o.settings);
        !r.line.empty())
        throw CLI::ValidationError(r.option, r.line);
}

int RunSfr(SfrOptions& o) {
    console::OutputFile csv, png;
    if (int status = Open(csv, o.csv)) return status;
    if (int status = Open(png, o.png)) return status;
    CatchInterrupt();
    const engine::SectorSettings& s = o.settings;
    const double energy = engine::SignalEnergy(s.chain);
    const std::size_t count = std::max(o.sigmas.size(), o.snrDbs.size());
    const bool table = o.csv != "-" && o.png != "-";
    const bool timing = s.chain.timing.on;
    std::vector<PointLine> points;
    if (csv.get() != nullptr)
        std::fputs("snr_db,sigma,sectors,failed,undetected,sfr,bit_errors,ber,raw_ber,"
                   "mean_iterations,rs_failed,rs_sfr",
                   csv.get());
    if (csv.get() != nullptr) std::fputs(timing ? ",slips,rms_phase\n" : "\n", csv.get());
    std::string subtitle;
    bool stopped = false;
    for (std::size_t i = 0; i < count && !stopped; ++i) {
        const double db = o.snrDbs.empty() ? channel::SnrDb(energy, o.sigmas[i]) : o.snrDbs[i];
        PointLine p;
        p.g = engine::GeometryOf(s, db);
        if (i == 0) {
            subtitle = s.chain.TargetName() + ", " + choices::ChannelText(s.chain) + ", " +
                       choices::DecoderName(s.decoder.algorithm) + ", " +
                       std::to_string(s.decoder.maxIterations) + " local";
            if (table) {
                std::printf(
                    "code %s: n %d, rate %.4f; %s + %s, %d global x %d local rounds, "
                    "precoder %s, messages %s\n",
                    s.code->name.c_str(), s.code->n, p.g.rate, detectors::KindName(s.detector),
                    choices::DecoderName(s.decoder.algorithm), s.global, s.decoder.maxIterations,
                    s.precoder ? "auto" : "none",
                    choices::MessagesName(s.decoder.algorithm == codes::Algorithm::kSumProduct
                                              ? engine::Messages::kPlain
                                              : s.messages));
                std::printf("classical: %s + Reed-Solomon t %d, %d words, rate %.4f\n",
                            detectors::KindName(engine::ClassicalKind(s.chain)), p.g.rsT,
                            p.g.rs.words, p.g.rsRate);
                if (s.chain.Recording())
                    std::printf("density: user %.4g, LDPC channel %.4g, RS channel %.4g\n",
                                s.chain.density, p.g.coded.density, p.g.classical.density);
                std::printf("%7s  %9s  %9s  %9s  %8s  %8s  %10s  %10s  %10s  %6s  %8s  %10s\n",
                            "snr_db", "sigma_u", "sigma_ch", "eb_n0_db", "sectors", "failed", "sfr",
                            "ber", "raw_ber", "iter", "rs_fail", "rs_sfr");
            }
        }
        console::Progress progress("sectors");
        const bool done = engine::RunSectorPoint(
            s, p.g, static_cast<int>(i), InterruptFlag(), p.c, [&](const engine::SectorCounts& c) {
                progress.Update(c.sectors, s.sectors,
                                Number("%.4g dB", db) + ", " + std::to_string(c.Errors()) +
                                    " failed");
            });
        progress.Finish();
        if (!done) {
            stopped = true;
            break;
        }
        points.push_back(p);
        const engine::SectorCounts& c = p.c;
        if (table)
            std::printf("%7.3f  %9.4g  %9.4g  %9.3f  %8llu  %8llu  %10.3e  %10.3e  %10.3e  %6.2f  "
                        "%8llu  %10.3e\n",
                        db, p.g.sigmaUser, p.g.sigmaCoded, p.g.ebN0Db,
                        static_cast<unsigned long long>(c.sectors),
                        static_cast<unsigned long long>(c.Errors()), Ratio(c.Errors(), c.sectors),
                        Ratio(c.bitErrors, c.userBits), Ratio(c.rawErrors, c.rawBits),
                        Ratio(c.iterations, c.sectors), static_cast<unsigned long long>(c.rsFailed),
                        Ratio(c.rsFailed, c.sectors));
        if (table && timing)
            std::printf("          timing: %llu LDPC and %llu RS sectors slipped, rms timing "
                        "error %s\n",
                        static_cast<unsigned long long>(c.slipped),
                        static_cast<unsigned long long>(c.rsSlipped),
                        Number("%.4g", c.RmsPhase()).c_str());
        if (csv.get() != nullptr) WriteCsvRow(csv.get(), p, timing);
    }
    if (int status = Finish(csv, o.csv)) return status;
    if (int status = WriteCharts(png, o.png, {SfrChart(o, points, subtitle)})) return status;
    if (stopped) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu points\n", InterruptName(),
                     points.size());
        return InterruptStatus();
    }
    return FinishStdout(0);
}

} // namespace lab
