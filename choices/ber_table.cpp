#include "choices/ber_table.h"

#include <algorithm>

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
    if (timing) {
        names.push_back("slips");
        names.push_back("rms_phase");
    }
    return names;
}

BerColumns BerColumnsOf(const ChannelChoice& choice) {
    BerColumns columns;
    columns.target = choice.targets.size() > 1;
    columns.timing = choice.chain.timing.on;
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
            std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(m->bitErrors),
                         m->Ber());
        }
        std::fprintf(file, ",%.9g", p.unionBound);
        if (columns.timing)
            std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(p.counts.slipFrames),
                         p.counts.RmsPhase());
        std::fputc('\n', file);
    }
}

engine::SweepSettings SweepOf(const ChannelChoice& choice, const engine::BerSettings& run,
                              const std::vector<double>& sigmas,
                              const std::vector<double>& snrDbs) {
    engine::SweepSettings s;
    s.run = run;
    s.chains = ChainsOf(choice);
    s.detectors = NamedDetectors(choice);
    s.sigmas = sigmas;
    s.snrDbs = snrDbs;
    return s;
}

} // namespace choices
