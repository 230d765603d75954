#include "lab/ber_points.h"

#include <algorithm>
#include <string>

namespace lab {

int IndexOf(const engine::BerSetup& setup, detectors::Kind kind) {
    const auto at = std::find(setup.detectors.begin(), setup.detectors.end(), kind);
    return at == setup.detectors.end() ? -1 : static_cast<int>(at - setup.detectors.begin());
}

void WriteBerCsv(std::FILE* file, const engine::BerSetup& setup,
                 const std::vector<BerPoint>& points) {
    using detectors::Kind;
    std::string header = "snr_db,sigma,bits";
    for (Kind kind : detectors::AllKinds())
        header += std::string(",") + KindName(kind) + "_errors," + KindName(kind) + "_ber";
    std::fprintf(file, "%s,union_bound\n", header.c_str());
    for (const BerPoint& p : points) {
        std::fprintf(file, "%.9g,%.9g,%llu", p.snrDb, p.sigma,
                     static_cast<unsigned long long>(p.counts.bits));
        for (Kind kind : detectors::AllKinds()) {
            const int d = IndexOf(setup, kind);
            if (d < 0) {
                std::fputs(",,", file);
                continue;
            }
            const engine::Monitor& m = p.counts.detectors[static_cast<std::size_t>(d)];
            std::fprintf(file, ",%llu,%.9g", static_cast<unsigned long long>(m.bitErrors), m.Ber());
        }
        std::fprintf(file, ",%.9g\n", p.unionBound);
    }
}

} // namespace lab
