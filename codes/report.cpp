#include "codes/report.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "codes/dense.h"

namespace codes {

int Rank(const Code& code) {
    const auto lock = dense::Lock();
    const dense::Matrix h = dense::OfCode(code, false);
    return mzd_echelonize_m4ri(h.get(), 0, 0);
}

Girth GirthAndCycles(const Code& code) {
    // Nodes 0 ... n-1 are the variables, n ... n+m-1 the checks.
    const int nodes = code.n + code.m;
    std::vector<int> dist(nodes, -1), frontier, next, seen;
    std::vector<std::uint64_t> paths(nodes, 0);
    int best = std::numeric_limits<int>::max(); // the shortest cycle so far
    std::uint64_t sum = 0;                      // Sum_v Sum_w C(paths, 2) at best / 2
    for (int v = 0; v < code.n; ++v) {
        frontier.assign(1, v);
        seen.assign(1, v);
        dist[v] = 0;
        paths[v] = 1;
        // Levels beyond best / 2 cannot close a shorter or equal cycle.
        for (int level = 1; 2 * level <= best && !frontier.empty(); ++level) {
            next.clear();
            for (int x : frontier) {
                const bool isVar = x < code.n;
                const int* nb = isVar ? &code.varCheck[code.varStart[x]]
                                      : &code.checkVar[code.checkStart[x - code.n]];
                const int count = isVar ? code.ColumnWeight(x) : code.RowWeight(x - code.n);
                for (int i = 0; i < count; ++i) {
                    const int y = isVar ? nb[i] + code.n : nb[i];
                    if (dist[y] < 0) {
                        dist[y] = level;
                        paths[y] = paths[x];
                        next.push_back(y);
                        seen.push_back(y);
                    } else if (dist[y] == level) {
                        paths[y] += paths[x];
                    }
                }
            }
            std::uint64_t pairs = 0;
            for (int y : next) pairs += paths[y] * (paths[y] - 1) / 2;
            if (pairs > 0) {
                if (2 * level < best) best = 2 * level, sum = 0;
                sum += pairs;
                break;
            }
            frontier.swap(next);
        }
        for (int y : seen) dist[y] = -1, paths[y] = 0;
    }
    if (best == std::numeric_limits<int>::max()) return {};
    return {best, sum / static_cast<std::uint64_t>(best / 2)};
}

CodeReport Report(const Code& code) {
    CodeReport r;
    r.n = code.n;
    r.m = code.m;
    r.rank = Rank(code);
    r.k = code.n - r.rank;
    r.rate = static_cast<double>(r.k) / code.n;
    for (int v = 0; v < code.n; ++v) ++r.columnWeights[code.ColumnWeight(v)];
    for (int c = 0; c < code.m; ++c) ++r.rowWeights[code.RowWeight(c)];
    r.girth = GirthAndCycles(code);
    return r;
}

std::string FormatReport(const CodeReport& r) {
    auto weights = [](const std::map<int, int>& w) {
        std::string s;
        for (const auto& [weight, count] : w)
            s += (s.empty() ? "" : ", ") + std::to_string(count) + " of weight " +
                 std::to_string(weight);
        return s;
    };
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.4f", r.rate);
    std::string out;
    out += "n " + std::to_string(r.n) + "\n";
    out += "checks " + std::to_string(r.m) + ", rank " + std::to_string(r.rank) + "\n";
    out += "k " + std::to_string(r.k) + "\n";
    out += std::string("rate ") + rate + "\n";
    out += "columns: " + weights(r.columnWeights) + "\n";
    out += "rows: " + weights(r.rowWeights) + "\n";
    if (r.girth.girth == 0)
        out += "girth: no cycles\n";
    else
        out += "girth " + std::to_string(r.girth.girth) + ", " + std::to_string(r.girth.cycles) +
               " cycles of that length\n";
    return out;
}

} // namespace codes
