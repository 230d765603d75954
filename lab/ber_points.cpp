#include "lab/ber_points.h"

#include <string>

namespace lab {

engine::BerColumns BerColumnsFor(const ChannelOptions& options) {
    return engine::BerColumnsOf(options.chain.Recording(), options.targets.size() > 1);
}

void WriteBerCsv(std::FILE* file, const ChannelOptions& options,
                 const std::vector<engine::BerPoint>& points) {
    const engine::BerColumns columns = BerColumnsFor(options);
    std::string header;
    for (const std::string& name : columns.Names()) header += (header.empty() ? "" : ",") + name;
    std::fprintf(file, "%s\n", header.c_str());
    for (const engine::BerPoint& p : points) {
        if (columns.target)
            std::fprintf(file, "%s,", ChainFor(options, p.target).TargetName().c_str());
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
        std::fprintf(file, ",%.9g\n", p.unionBound);
    }
}

} // namespace lab
