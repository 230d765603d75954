#include "choices/ber_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/constraint_survey.h"

namespace choices {

std::vector<std::string> BerColumns::Names() const {
    std::vector<std::string> names;
    if (target) names.push_back("target");
    for (const char* name : {"snr_db", "sigma", "bits"}) names.push_back(name);
    for (detectors::Kind kind : kinds) {
        names.push_back(std::string(detectors::KindName(kind)) + "_errors");
        names.push_back(std::string(detectors::KindName(kind)) + "_ber");
    }
    names.push_back("union_bound");
    if (importance) {
        for (detectors::Kind kind : kinds)
            for (const char* part : {"_ber_is", "_rse", "_ber_low", "_ber_high"})
                names.push_back(std::string(detectors::KindName(kind)) + part);
        names.push_back("cpu_s");
    }
    if (timing) {
        names.push_back("slips");
        names.push_back("rms_phase");
    }
    if (coded) {
        names.push_back("user_bits");
        for (detectors::Kind kind : kinds) {
            names.push_back(std::string(detectors::KindName(kind)) + "_user_errors");
            names.push_back(std::string(detectors::KindName(kind)) + "_user_ber");
        }
        if (ideal) names.push_back("snr_user_db");
    }
    return names;
}

BerColumns BerColumnsOf(const ChannelChoice& choice) {
    BerColumns columns;
    columns.target = choice.targets.size() > 1;
    columns.timing = choice.chain.timing.on;
    columns.importance = choice.estimator == engine::Estimator::kImportance;
    columns.coded = choice.chain.constraint != channel::ConstraintKind::kNone;
    columns.ideal = !choice.chain.Recording();
    const bool head = choice.chain.Recording();
    for (const detectors::Row& row : detectors::Table()) {
        const bool named = std::find(choice.detectors.begin(), choice.detectors.end(), row.kind) !=
                           choice.detectors.end();
        if (row.columns == detectors::Columns::kAlways ||
            (row.columns == detectors::Columns::kOnHead && head) ||
            (row.columns == detectors::Columns::kWhenAsked && named))
            columns.kinds.push_back(row.kind);
    }
    return columns;
}

std::vector<double> ImportanceCells(const BerColumns& columns, const engine::BerPoint& p) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> cells;
    for (detectors::Kind kind : columns.kinds) {
        const auto at = std::find(p.kinds.begin(), p.kinds.end(), kind);
        const std::size_t d = static_cast<std::size_t>(at - p.kinds.begin());
        if (at == p.kinds.end() || d >= p.estimates.size()) {
            cells.insert(cells.end(), {nan, nan, nan, nan});
            continue;
        }
        const engine::Estimate& e = p.estimates[d];
        cells.insert(cells.end(), {e.ber, e.rse, e.low, e.high});
    }
    cells.push_back(p.cpuSeconds);
    return cells;
}

void WriteBerCsv(std::FILE* file, const ChannelChoice& choice,
                 const std::vector<engine::BerPoint>& points) {
    const BerColumns columns = BerColumnsOf(choice);
    std::string header;
    for (const std::string& name : columns.Names()) header += (header.empty() ? "" : ",") + name;
    std::fprintf(file, "%s\n", header.c_str());
    for (const engine::BerPoint& p : points) {
        if (columns.target)
            std::fprintf(file, "%s,", ChainFor(choice, p.target).TargetName().c_str());
        std::fprintf(file, "%.9g,%.9g,%llu", p.snrDb, p.sigma,
                     static_cast<unsigned long long>(p.counts.bits));
        for (detectors::Kind kind : columns.kinds) {
            const engine::Monitor* m = p.CountsOf(kind);
            if (m == nullptr) {
                std::fputs(",,", file);
                continue;
            }
            std::fprintf(file, ",%llu", static_cast<unsigned long long>(m->bitErrors));
            if (columns.importance)
                std::fputs(",", file);
            else
                std::fprintf(file, ",%.9g", m->Ber());
        }
        std::fprintf(file, ",%.9g", p.unionBound);
        if (columns.importance)
            for (double cell : ImportanceCells(columns, p)) {
                if (std::isnan(cell))
                    std::fputs(",", file);
                else
                    std::fprintf(file, ",%.9g", cell);
            }
        if (columns.timing)
            std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(p.counts.slipFrames),
                         p.counts.RmsPhase());
        if (columns.coded) {
            const std::uint64_t userBits = p.counts.users.empty() ? 0 : p.counts.users[0].bits;
            std::fprintf(file, ",%llu", static_cast<unsigned long long>(userBits));
            for (detectors::Kind kind : columns.kinds) {
                const auto at = std::find(p.kinds.begin(), p.kinds.end(), kind);
                const std::size_t d = static_cast<std::size_t>(at - p.kinds.begin());
                if (at == p.kinds.end() || d >= p.counts.users.size()) {
                    std::fputs(",,", file);
                    continue;
                }
                const engine::Monitor& m = p.counts.users[d];
                std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(m.bitErrors),
                             m.Ber());
            }
            if (columns.ideal)
                std::fprintf(file, ",%.9g",
                             p.snrDb - 10 * std::log10(ChainFor(choice, p.target).CodeRate()));
        }
        std::fputc('\n', file);
    }
}

engine::SweepSettings SweepOf(const ChannelChoice& choice, const engine::BerSettings& run,
                              const std::vector<double>& sigmas,
                              const std::vector<double>& snrDbs) {
    engine::SweepSettings s;
    s.run = run;
    // With a constraint code the frame is its words: the user bits asked for
    // rounded down to whole words (one at least), coded.
    s.run.frame = engine::CodedFrame(run.frame, choice.chain.constraint);
    s.chains = ChainsOf(choice);
    s.detectors = NamedDetectors(choice);
    s.sigmas = sigmas;
    s.snrDbs = snrDbs;
    s.estimator = choice.estimator;
    s.importance.rse = choice.rse;
    return s;
}

} // namespace choices
