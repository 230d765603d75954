#include "codes/code.h"

#include <algorithm>

namespace codes {

int Code::MaxRowWeight() const {
    int w = 0;
    for (int c = 0; c < m; ++c) w = std::max(w, RowWeight(c));
    return w;
}

Code CodeFromChecks(int n, const std::vector<std::vector<int>>& rows, std::string name) {
    Code code;
    code.n = n;
    code.m = static_cast<int>(rows.size());
    code.name = std::move(name);
    code.checkStart.assign(code.m + 1, 0);
    std::vector<int> colWeight(n, 0);
    for (int c = 0; c < code.m; ++c) {
        code.checkStart[c + 1] = code.checkStart[c] + static_cast<int>(rows[c].size());
        for (int v : rows[c]) ++colWeight[v];
    }
    code.checkVar.resize(code.checkStart[code.m]);
    for (int c = 0; c < code.m; ++c) {
        std::vector<int> cols = rows[c];
        std::sort(cols.begin(), cols.end());
        std::copy(cols.begin(), cols.end(), code.checkVar.begin() + code.checkStart[c]);
    }
    code.varStart.assign(n + 1, 0);
    for (int v = 0; v < n; ++v) code.varStart[v + 1] = code.varStart[v] + colWeight[v];
    code.varCheck.resize(code.checkVar.size());
    code.varEdge.resize(code.checkVar.size());
    // Checks in increasing order, so each column's checks come out ascending.
    std::vector<int> fill(code.varStart.begin(), code.varStart.end() - 1);
    for (int c = 0; c < code.m; ++c)
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e) {
            const int v = code.checkVar[e];
            code.varCheck[fill[v]] = c;
            code.varEdge[fill[v]] = e;
            ++fill[v];
        }
    return code;
}

bool SyndromeZero(const Code& code, const std::uint8_t* bits) {
    for (int c = 0; c < code.m; ++c) {
        unsigned parity = 0;
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e)
            parity ^= bits[code.checkVar[e]];
        if (parity & 1) return false;
    }
    return true;
}

} // namespace codes
