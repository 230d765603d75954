// `quorvane-lab targets`: which target at which density, on a head.
#include "channel/head.h"
#include "channel/readback.h"
#include "choices/channel.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "engine/target_survey.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace lab {

using choices::Number;
namespace {

void WriteCsv(std::FILE* file, const std::vector<engine::SurveyRow>& rows) {
    std::string header;
    for (const char* column : engine::kSurveyColumns)
        header += std::string(header.empty() ? "" : ",") + column;
    std::fprintf(file, "%s\n", header.c_str());
    for (const engine::SurveyRow& r : rows) {
        // The coefficients hold commas: quoted, as CSV quotes them.
        std::fprintf(file, "%.9g,%s,\"%s\",%d,%.9g,%.9g,%.9g\n", r.density, r.target.c_str(),
                     r.coefficients.c_str(), r.delay, r.mse, r.d2min, r.detectionSnrDb);
    }
}

// One block per density, the best target's row marked.
void PrintTable(const std::vector<engine::SurveyRow>& rows) {
    std::printf("%8s  %-6s  %5s  %11s  %9s  %15s  %s\n", "density", "target", "delay", "mse",
                "d2min", "detection dB", "coefficients");
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t end = i;
        std::size_t best = i;
        while (end < rows.size() && rows[end].density == rows[i].density) {
            if (rows[end].detectionSnrDb > rows[best].detectionSnrDb) best = end;
            ++end;
        }
        for (std::size_t j = i; j < end; ++j) {
            const engine::SurveyRow& r = rows[j];
            std::printf("%8.3g  %-6s  %5d  %11.4e  %9.4g  %13.2f %s  %s\n", r.density,
                        r.target.c_str(), r.delay, r.mse, r.d2min, r.detectionSnrDb,
                        j == best ? "*" : " ", r.coefficients.c_str());
        }
        if (end < rows.size()) std::printf("\n");
        i = end;
    }
    std::printf("* the best target at its density\n");
}

platform::Chart SurveyChart(const TargetsOptions& options,
                            const std::vector<engine::SurveyRow>& rows) {
    platform::Chart chart;
    chart.width = options.width;
    chart.height = options.height;
    const engine::SurveySettings& s = options.survey;
    chart.title =
        std::string("Detection SNR against density, ") + channel::HeadOf(s.head).name + " head";
    chart.subtitle = "SNR " + Number("%g", s.snrDb) + " dB, jitter " + Number("%g", s.jitter) +
                     ", " + std::to_string(s.taps) +
                     " equalizer taps; detection SNR = 10 log10(d2min / mse)";
    constexpr platform::Colour kColours[] = {0x1F5FD0, 0x209040, 0xE08000, 0xD02020, 0x9040C0,
                                             0x008B8B, 0x8B4513, 0x606060, 0x000000};
    std::vector<std::string> order;
    std::map<std::string, platform::ChartSeries> series;
    double low = 1e9, high = -1e9;
    for (const engine::SurveyRow& r : rows) {
        if (!series.count(r.target)) {
            platform::ChartSeries s;
            s.name = r.target;
            s.kind = platform::ChartSeries::Kind::LinePoints;
            s.colour = kColours[order.size() % 9];
            s.dashed = r.target.compare(0, 3, "gpr") == 0;
            series[r.target] = s;
            order.push_back(r.target);
        }
        series[r.target].x.push_back(r.density);
        series[r.target].y.push_back(r.detectionSnrDb);
        low = std::min(low, r.detectionSnrDb);
        high = std::max(high, r.detectionSnrDb);
    }
    // Round ticks: a step of 1, 2 or 5 times a power of ten, at most ten of
    // them, the ends on whole steps.
    auto axis = [](std::string title, double lo, double hi, const char* format) {
        double step = 1e-3;
        for (int i = 0; (hi - lo) / step > 10; ++i) step *= i % 3 == 1 ? 2.5 : 2;
        const double from = std::floor(lo / step + 1e-9) * step;
        const double to = std::ceil(hi / step - 1e-9) * step;
        return platform::ChartAxis{std::move(title),
                                   from,
                                   to,
                                   false,
                                   static_cast<int>(std::lround((to - from) / step)) + 1,
                                   format};
    };
    chart.x = axis("user density PW50 / T", s.densities.front(), s.densities.back(), "%g");
    chart.y = axis("detection SNR (dB)", low - 0.3, high + 0.3, "%g");
    for (const std::string& name : order) chart.series.push_back(series[name]);
    return chart;
}

} // namespace

CLI::App* AddTargetsCommand(CLI::App& app, TargetsOptions& options) {
    CLI::App* cmd = app.add_subcommand("targets", "which target at which density, on a head");
    cmd->footer(
        "For each density, equalizes a head's readback to PR4, EPR4, E2PR4, E3PR4 and to the\n"
        "generalised targets gpr2 ... gpr6 designed with the equalizer, at --snr and\n"
        "--jitter, and writes the designed mean-squared error and the detection SNR\n"
        "10 log10(d2min / mse): the margin that decides the Viterbi detector's error rate.\n"
        "On a terminal a table, the best target of each density marked; --csv writes\n"
        "density,target,coefficients,delay,mse,d2min,detection_snr_db (coefficients\n"
        "quoted); with a density range --png draws detection SNR against density, one\n"
        "line per target. See quorvane-lab --help for the model.");
    engine::SurveySettings& s = options.survey;
    std::string heads, names;
    for (const channel::HeadRow& h : channel::Heads()) {
        heads += std::string(heads.empty() ? "" : "|") + h.name;
        names += std::string(names.empty() ? "" : " or ") + h.name +
                 (h.kind == s.head ? " (the default)" : "");
    }
    AddChecked(*cmd, "--channel", names, [&s](const std::string& text) {
        return choices::ParseSurveyHead(text, s.head);
    })->type_name(heads);
    AddChecked(
        *cmd, "--density",
        "user densities PW50 / T, one or FROM:TO:STEP, each " + Number("%g", channel::kMinDensity) +
            " ... " + Number("%g", channel::kMaxDensity),
        [&s](const std::string& text) { return choices::ParseSurveyDensities(text, s.densities); })
        ->type_name("D|FROM:TO:STEP")
        ->required();
    AddChecked(*cmd, "--snr",
               "the SNR the equalizers are designed for, in dB (default " + Number("%g", s.snrDb) +
                   ")",
               [&s](const std::string& text) { return choices::ParseSnr(text, s.snrDb); })
        ->type_name("DB");
    AddChecked(*cmd, "--jitter",
               "transition jitter, deviation in bit periods, 0 ... " +
                   Number("%g", channel::kMaxJitter) + " (default " + Number("%g", s.jitter) + ")",
               [&s](const std::string& text) { return choices::ParseJitter(text, s.jitter); })
        ->type_name("J");
    AddChecked(*cmd, "--taps",
               "equalizer taps, odd, " + std::to_string(channel::kMinTaps) + " ... " +
                   std::to_string(channel::kMaxTaps) + " (default " + std::to_string(s.taps) + ")",
               [&s](const std::string& text) { return choices::ParseEqualizerTaps(text, s.taps); })
        ->type_name("N");
    cmd->add_option("--csv", options.csv,
                    "also write the rows as CSV (\"-\" = standard output, which then gets only "
                    "the CSV)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw detection SNR against density (needs a density range; \"-\" = "
                    "standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    return cmd;
}

void CheckTargetsOptions(const TargetsOptions& options) {
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    if (!options.png.empty() && options.survey.densities.size() < 2)
        throw CLI::ValidationError("--png", "a chart needs a density range FROM:TO:STEP");
    CheckChartSize(options.png, options.width, options.height);
}

int RunTargets(const TargetsOptions& options) {
    console::OutputFile csv;
    if (!options.csv.empty() && !csv.Open(options.csv)) return FileError(options.csv, csv.error());
    console::OutputFile png;
    if (!options.png.empty() && !png.Open(options.png)) return FileError(options.png, png.error());
    const std::vector<engine::SurveyRow> rows = engine::SurveyTargets(options.survey);

    if (options.csv != "-" && options.png != "-") PrintTable(rows);
    if (csv.get() != nullptr) {
        WriteCsv(csv.get(), rows);
        if (!(csv.Finish() && csv.Commit())) return FileError(options.csv, csv.error());
    }
    if (png.get() != nullptr) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(SurveyChart(options, rows), png.get()) &&
            std::ferror(png.get()) == 0)
            return FileError(options.png, "PNG encoding failed");
        if (!(png.Finish() && png.Commit())) return FileError(options.png, png.error());
    }
    return FinishStdout(0);
}

} // namespace lab
