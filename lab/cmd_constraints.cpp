// `quorvane-lab constraints`: where a constraint code pays, at the same user
// density and SNR as the uncoded channel.
#include "channel/constraint.h"
#include "channel/events.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/constraint_survey.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace lab {

using choices::Number;
namespace {

using detectors::Kind;
using engine::ConstraintSurveyRow;

// The detectors of the rows, in the table's order: the columns.
std::vector<Kind> KindsOf(const std::vector<ConstraintSurveyRow>& rows) {
    std::vector<Kind> kinds;
    for (const detectors::Row& d : detectors::Table())
        for (const ConstraintSurveyRow& r : rows)
            if (r.UserCounts(d.kind) != nullptr) {
                kinds.push_back(d.kind);
                break;
            }
    return kinds;
}

// The channel without its density, which each row has.
std::string ChannelLine(const engine::ChainSettings& chain) {
    if (!chain.Recording()) return "ideal channel";
    return chain.ChannelName() + " head, jitter " + Number("%g", chain.jitter) + ", " +
           std::to_string(chain.taps) + " taps";
}

std::uint64_t UserBits(const ConstraintSurveyRow& r) {
    if (r.constraint == channel::ConstraintKind::kNone) return r.point.counts.bits;
    return r.point.counts.users.empty() ? 0 : r.point.counts.users.front().bits;
}

// On a head the densities lead; on the ideal channel the SNR per user bit
// follows the distance.
void WriteCsv(std::FILE* file, bool head, const std::vector<ConstraintSurveyRow>& rows) {
    const std::vector<Kind> kinds = KindsOf(rows);
    std::fputs(head ? "density,constraint,rate,channel_density,d2min,detection_snr_db"
                    : "constraint,rate,d2min,detection_snr_db,snr_user_db",
               file);
    std::fputs(",sigma,user_bits", file);
    for (Kind kind : kinds)
        std::fprintf(file, ",%s_user_errors,%s_user_ber", KindName(kind), KindName(kind));
    std::fputc('\n', file);
    for (const ConstraintSurveyRow& r : rows) {
        const char* name = channel::ConstraintOf(r.constraint).name;
        if (head)
            std::fprintf(file, "%.9g,%s,%.9g,%.9g,%.9g,%.9g", r.density, name, r.rate,
                         r.channelDensity, r.d2min, r.detectionSnrDb);
        else
            std::fprintf(file, "%s,%.9g,%.9g,%.9g,%.9g", name, r.rate, r.d2min, r.detectionSnrDb,
                         r.point.snrDb - 10 * std::log10(r.rate));
        std::fprintf(file, ",%.9g,%llu", r.point.sigma,
                     static_cast<unsigned long long>(UserBits(r)));
        for (Kind kind : kinds) {
            const engine::Monitor* m = r.UserCounts(kind);
            if (m == nullptr)
                std::fputs(",,", file);
            else
                std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(m->bitErrors),
                             m->Ber());
        }
        std::fputc('\n', file);
    }
}

void PrintHeader(bool head, const std::vector<Kind>& kinds) {
    if (head) std::printf("%8s  ", "density");
    std::printf("%-10s  %6s  ", "code", "rate");
    if (head) std::printf("%8s  ", "channel");
    std::printf("%7s  %12s  %12s", "d2min", "detection dB", "user bits");
    for (Kind kind : kinds) {
        const std::string name = KindName(kind);
        std::printf("  %*s  %*s", static_cast<int>(name.size()) + 12,
                    (name + " user errors").c_str(), static_cast<int>(name.size()) + 9,
                    (name + " user BER").c_str());
    }
    std::printf("\n");
}

void PrintRow(bool head, const std::vector<Kind>& kinds, const ConstraintSurveyRow& r) {
    if (head) std::printf("%8.4g  ", r.density);
    std::printf("%-10s  %6.4f  ", channel::ConstraintOf(r.constraint).name, r.rate);
    if (head) std::printf("%8.4g  ", r.channelDensity);
    std::printf("%7s  %12.2f  %12llu", channel::DistanceText(r.d2min).c_str(), r.detectionSnrDb,
                static_cast<unsigned long long>(UserBits(r)));
    for (Kind kind : kinds) {
        const std::string name = KindName(kind);
        const engine::Monitor* m = r.UserCounts(kind);
        if (m == nullptr)
            std::printf("  %*s  %*s", static_cast<int>(name.size()) + 12, "-",
                        static_cast<int>(name.size()) + 9, "-");
        else
            std::printf("  %*llu  %*.4e", static_cast<int>(name.size()) + 12,
                        static_cast<unsigned long long>(m->bitErrors),
                        static_cast<int>(name.size()) + 9, m->Ber());
    }
    std::printf("\n");
    std::fflush(stdout);
}

// User-bit error rate against user density: a line per code and detector,
// solid for Viterbi, dashed for npml.
platform::Chart ConstraintChart(const ConstraintsOptions& o,
                                const std::vector<ConstraintSurveyRow>& rows) {
    constexpr platform::Colour kColours[] = {0x000000, 0xD02020, 0x1F5FD0, 0x209040, 0xE08000};
    const engine::ChainSettings chain = choices::ChainFor(o.channel, 0);
    platform::Chart chart;
    chart.width = o.width;
    chart.height = o.height;
    chart.title = "User-bit error rate against user density, " + chain.TargetName() + ", " +
                  (o.noise.bySnr ? "SNR " + Number("%g", o.noise.snrDb) + " dB"
                                 : "sigma " + Number("%g", o.noise.sigma));
    chart.subtitle = ChannelLine(chain) +
                     "; each code written at the channel density D / R, the noise's spectral "
                     "density held";
    double lowest = 1, highest = 0;
    const std::vector<Kind> kinds = KindsOf(rows);
    chart.legendRight = kinds.size() > 1;
    std::size_t code = 0;
    for (const channel::ConstraintRow& c : channel::Constraints()) {
        bool any = false;
        for (Kind kind : kinds) {
            platform::ChartSeries s;
            s.name =
                std::string(c.name) + (kinds.size() > 1 ? std::string(" ") + KindName(kind) : "");
            s.kind = platform::ChartSeries::Kind::LinePoints;
            s.colour = kColours[code % 5];
            s.dashed = kind == Kind::kNpml && kinds.size() > 1;
            for (const ConstraintSurveyRow& r : rows) {
                if (r.constraint != c.kind) continue;
                const engine::Monitor* m = r.UserCounts(kind);
                if (m == nullptr || m->Ber() == 0) continue; // no place on a log axis
                s.x.push_back(r.density);
                s.y.push_back(m->Ber());
                lowest = std::min(lowest, m->Ber());
                highest = std::max(highest, m->Ber());
            }
            if (s.x.empty()) continue;
            any = true;
            chart.series.push_back(s);
        }
        if (any) ++code;
    }
    if (highest == 0) highest = 1, lowest = 1e-6;
    const double top = std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest) + 1e-9)));
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest) - 1e-9));
    const double from = o.densities.front(), to = o.densities.back();
    double step = 0.05;
    while ((to - from) / step > 10) step *= 2;
    const double lo = std::floor(from / step + 1e-9) * step,
                 hi = std::ceil(to / step - 1e-9) * step;
    chart.x = {"user density PW50 / T",
               lo,
               hi,
               false,
               static_cast<int>(std::lround((hi - lo) / step)) + 1,
               "%g"};
    chart.y = {"user-bit error rate", bottom, top, true, 0, "%.0e"};
    return chart;
}

// Progress while a row runs; the rows print as they end, the columns the
// detectors asked for.
class Reporter final : public engine::SweepReporter {
  public:
    Reporter(std::uint64_t bits, bool table, bool head, const std::vector<Kind>& kinds,
             const std::vector<ConstraintSurveyRow>& rows)
        : bits_(bits), table_(table), head_(head), kinds_(kinds), rows_(rows) {}
    void PointBegins(const engine::BerPoint&, const engine::ChannelDesign&) override {
        progress_.emplace("bits");
    }
    void Progress(const engine::BerPoint& p, const engine::PointCounts& c) override {
        progress_->Update(c.bits, bits_, "sigma " + Number("%.4g", p.sigma));
    }
    void PointDone(const engine::BerPoint&) override { progress_.reset(); }
    void Print() {
        if (!table_) return;
        if (printed_ == 0) PrintHeader(head_, kinds_);
        while (printed_ < rows_.size()) PrintRow(head_, kinds_, rows_[printed_++]);
    }

  private:
    std::uint64_t bits_;
    bool table_, head_;
    const std::vector<Kind>& kinds_;
    const std::vector<ConstraintSurveyRow>& rows_;
    std::size_t printed_ = 0;
    std::optional<console::Progress> progress_;
};

} // namespace

CLI::App* AddConstraintsCommand(CLI::App& app, ConstraintsOptions& options) {
    CLI::App* cmd = app.add_subcommand(
        "constraints", "where a constraint code pays, at the uncoded channel's user density");
    cmd->footer(
        "For each user density (on a head) and each constraint code (none, " +
        channel::ConstraintNames().substr(6) +
        "), writes the code at\n"
        "the channel density D / R with the noise's spectral density held, and reports the\n"
        "constrained d2min of the detector's trellis, the detection SNR 10 log10(d2min /\n"
        "sigma_d^2) (sigma_d^2 the noise the detector sees: the equalized noise's variance on a\n"
        "head) and the user-bit error rate after the code's decoder, all at the SNR of the\n"
        "uncoded channel at the user density. --csv writes density,constraint,rate,\n"
        "channel_density,d2min,detection_snr_db,sigma,user_bits and per detector\n"
        "<name>_user_errors,<name>_user_ber (on the ideal channel constraint,rate,d2min,\n"
        "detection_snr_db,snr_user_db,sigma,user_bits,...); --png draws the error rate against\n"
        "the density. Ctrl-C stops and writes the rows finished. See quorvane-lab --help.");
    engine::BerSettings& s = options.settings;
    s.threads = choices::DefaultThreads();
    s.errors = 200;
    s.bits = 1'000'000;
    AddNoiseLevel(*cmd, options.noise, "noise deviation in levels, the same at every density");
    AddChecked(*cmd, "--density",
               "user densities PW50 / T on a head, one or FROM:TO:STEP, each " +
                   Number("%g", channel::kMinDensity) + " ... " +
                   Number("%g", channel::kMaxDensity),
               [&options](const std::string& text) {
                   return choices::ParseSurveyDensities(text, options.densities);
               })
        ->type_name("D|FROM:TO:STEP");
    AddCount(*cmd, "--bits", s.bits, 1, choices::kMaxBits,
             "raw bits per row at most, rounded up to whole frames (default " +
                 Number("%g", static_cast<double>(s.bits)) + ")");
    AddCount(*cmd, "--errors", s.errors, 1, choices::kMaxErrors,
             "end a row once every detector has this many raw errors (default " +
                 std::to_string(s.errors) + ")");
    AddCount(*cmd, "--frame", s.frame, 1, choices::kMaxFrame,
             "user bits per frame, rounded down to whole code words (default " +
                 std::to_string(s.frame) + ")");
    AddCount(*cmd, "--seed", s.seed, 0, UINT64_MAX,
             "seed of the random bits and the noise (default " + std::to_string(s.seed) + ")");
    AddCount(*cmd, "--threads", s.threads, 1, choices::kMaxThreads,
             "worker threads (default: all cores); the counts do not depend on it");
    AddChannelOptions(*cmd, options.channel, choices::kBer, false,
                      {"--density", "--constraint", "--estimator", "--rse"});
    cmd->add_option("--csv", options.csv,
                    "also write the rows as CSV (\"-\" = standard output, which then gets only "
                    "the CSV)")
        ->type_name("FILE");
    cmd->add_option("--png", options.png,
                    "also draw the user-bit error rate against density (needs a head and a "
                    "density range; \"-\" = standard output, which then gets only the picture)")
        ->type_name("FILE");
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kChartWidth) + "x" +
                       std::to_string(choices::kChartHeight));
    options.command = cmd;
    return cmd;
}

void CheckConstraintsOptions(ConstraintsOptions& options) {
    if (options.csv == "-" && options.png == "-")
        throw CLI::ValidationError("--png", "only one of --csv and --png can be \"-\"");
    const bool head = options.channel.chain.Recording();
    if (!head && !options.densities.empty())
        throw CLI::ValidationError("--density", "the ideal channel takes no --density (choose "
                                                "--channel " +
                                                    channel::HeadNames() + ")");
    if (head && options.densities.empty())
        throw CLI::RequiredError("constraints on a head: --density");
    if (!options.png.empty() && options.densities.size() < 2)
        throw CLI::ValidationError("--png",
                                   "a chart needs a head and a density range FROM:TO:STEP");
    if (options.command->count("--sigma") == 0 && options.command->count("--snr") == 0)
        throw CLI::RequiredError("constraints: --sigma or --snr");
    CheckChartSize(options.png, options.width, options.height);
    CheckChannelOptions(options.channel);
    // Every row but the first runs a code: what refuses a code refuses the run.
    choices::ChannelChoice coded = options.channel;
    coded.chain.constraint = channel::ConstraintKind::kMtr45;
    CheckChannelOptions(coded);
}

int RunConstraints(const ConstraintsOptions& o) {
    console::OutputFile csv, png;
    if (!o.csv.empty() && !csv.Open(o.csv)) return FileError(o.csv, csv.error());
    if (!o.png.empty() && !png.Open(o.png)) return FileError(o.png, png.error());
    CatchInterrupt();
    const bool head = o.channel.chain.Recording();
    engine::ConstraintSurveySettings s;
    s.run = o.settings;
    s.chain = choices::ChainFor(o.channel, 0);
    s.densities = o.densities;
    if (o.noise.bySnr)
        s.snrDb = o.noise.snrDb;
    else
        s.sigma = o.noise.sigma;
    s.detectors = choices::NamedDetectors(o.channel);
    if (s.detectors.empty())
        s.detectors = {head ? detectors::Kind::kNpml : detectors::Kind::kViterbi};

    const bool table = o.csv != "-" && o.png != "-";
    if (table)
        std::printf("target %s, %s, %s\n", s.chain.TargetName().c_str(),
                    ChannelLine(s.chain).c_str(),
                    o.noise.bySnr ? ("SNR " + Number("%g", o.noise.snrDb) +
                                     " dB of the uncoded channel at each user density")
                                        .c_str()
                                  : ("sigma " + Number("%g", o.noise.sigma)).c_str());
    std::vector<ConstraintSurveyRow> rows;
    Reporter reporter(s.run.bits, table, head, s.detectors, rows);
    // One row at a time, so that each prints as it ends.
    bool done = true;
    std::vector<channel::ConstraintKind> codes;
    for (const channel::ConstraintRow& c : channel::Constraints())
        if (channel::ConstraintCode::Of(c.kind).Exists()) codes.push_back(c.kind);
    const std::vector<double> densities = head ? o.densities : std::vector<double>{0.0};
    for (std::size_t i = 0; i < densities.size() && done; ++i) {
        for (channel::ConstraintKind code : codes) {
            engine::ConstraintSurveySettings one = s;
            one.densities = {densities[i]};
            one.constraints = {code};
            if (!engine::SurveyConstraints(one, InterruptFlag(), reporter, rows)) {
                done = false;
                break;
            }
            reporter.Print();
        }
        if (table && done && i + 1 < densities.size()) std::printf("\n");
    }
    if (csv.get() != nullptr) {
        WriteCsv(csv.get(), head, rows);
        if (!(csv.Finish() && csv.Commit())) return FileError(o.csv, csv.error());
    }
    if (png.get() != nullptr) {
        platform::OffscreenToolkit toolkit;
        if (!platform::WritePng(ConstraintChart(o, rows), png.get()) && std::ferror(png.get()) == 0)
            return FileError(o.png, "PNG encoding failed");
        if (!(png.Finish() && png.Commit())) return FileError(o.png, png.error());
    }
    if (!done) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %zu of %zu rows\n", InterruptName(),
                     rows.size(), densities.size() * codes.size());
        return InterruptStatus();
    }
    return FinishStdout(0);
}

} // namespace lab
