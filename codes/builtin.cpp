// The built-in codes are quasi-cyclic: H is a 4 x L array of Z x Z blocks,
// each either zero or a circulant permutation (block (i, j) with shift s has
// a 1 at row i Z + r, column j Z + (r + s) mod Z).
//
// The base pattern. Block column j is zero in block row j mod 4 and a
// circulant in the other three, so every column of H has weight 3 and every
// row weight 3L/4. Z is a power of two, so x^Z - 1 = (x + 1)^Z over GF(2)
// and the circulants form a local ring whose residue field is GF(2) (a
// circulant permutation maps to 1). A matrix over a local ring is onto when
// its image over the residue field is, so H has full rank 4Z whenever the
// 0/1 pattern has rank 4 over GF(2), whatever the shifts: any four
// consecutive block columns have the pattern J - I (all ones less the
// identity), whose determinant -3 is odd. So k = (L - 4) Z exactly, and the
// last four block columns alone are invertible: the encoder's parity sits
// there and the user bits are the first k columns.
//
// The shifts. Block column by block column, j = 0 ... L-1: the column's
// first circulant has shift 0 (adding a constant to one column's shifts
// moves no cycle), and its other two shifts (a, b) are the pair in
// [0, Z)^2 that closes no 4-cycle and the fewest 6-cycles with the columns
// before it, the smallest a and then the smallest b on a tie. A cycle through
// the new column enters it at block row p and leaves at q; the rest of it
// runs through earlier columns from q back to p, and it closes when the
// alternating sum of the shifts along it is 0 mod Z (for a 4-cycle through
// columns j, l and rows p, q: s_pj - s_qj + s_ql - s_pl != 0 mod Z is what
// keeps it open).
//
// What that gives (codes/report.h counts the cycles):
//   sector512: Z = 128, L = 36: n 4608, k 4096, rate 0.8889, column weight
//              3, row weight 27, girth 6 with 2944 cycles of length 6.
//   sector4k:  Z = 1024, L = 36: n 36864, k 32768, rate 0.8889, column
//              weight 3, row weight 27, girth 8 with 5151744 cycles of
//              length 8 (the search finds shifts closing no 6-cycle).
// The shifts, block columns 0 ... 35 on two lines per block row, "-" for a
// zero block (the two codes' first 25 columns agree):
//   sector512 (Z = 128), block rows 0 ... 3:
//       -   0   0   0   -   0   0   0   -   0   0   0   -   0   0   0   -   0
//           0   0   -   0   0   0   -   0   0   0   -   0   0   0   -   0   0   0
//       0   -   2   3   0   -   5   8   0   -  16  18   0   -  22  25   0   -
//          29  30   0   -  33  52   0   -  13  21   0   -  94  39   0   -  83  73
//       0   0   -   6   5   9   -  17  10  20   -  41  26  24   -  54  31  46
//           -  72  35  63   -  89  40  90   -  84  78 114   - 116  46  69   -  35
//       0   1   4   -   8  15  19   -  22  14  34   -  33  45  50   -  51  77
//          68   -  67  98  28   -  87  65  99   - 115  71 113   - 101 118  74   -
//   sector4k (Z = 1024), block rows 0 ... 3:
//       -   0   0   0   -   0   0   0   -   0   0   0   -   0   0   0   -   0
//           0   0   -   0   0   0   -   0   0   0   -   0   0   0   -   0   0   0
//       0   -   2   3   0   -   5   8   0   -  16  18   0   -  22  25   0   -
//          29  30   0   -  33  52   0   -  57  61   0   -  64  78   0   -  81  91
//       0   0   -   6   5   9   -  17  10  20   -  41  26  24   -  54  31  46
//           -  72  35  63   -  89  40  79   - 129  53  85   - 170  95 102   - 192
//       0   1   4   -   8  15  19   -  22  14  34   -  33  45  50   -  51  77
//          68   -  67  98  28   -  83 126 138   - 114 125 155   -  19 189 187   -
#include "codes/builtin.h"

#include <stdexcept>

namespace codes {
namespace {

constexpr int kBlockRows = 4;

// Block column j's three block rows, ascending.
void RowsOf(int j, int rows[3]) {
    int k = 0;
    for (int i = 0; i < kBlockRows; ++i)
        if (i != j % kBlockRows) rows[k++] = i;
}

int Mod(long v, int z) {
    const long r = v % z;
    return static_cast<int>(r < 0 ? r + z : r);
}

} // namespace

std::vector<std::vector<int>> BaseShifts(int z, int columns) {
    std::vector<std::vector<int>> s(kBlockRows, std::vector<int>(columns, -1));
    // For each pair of the new column's rows: which values of
    // d = s_p - s_q close a 4-cycle, and how many 6-cycles each closes.
    std::vector<char> forbid[3];
    std::vector<int> six[3];
    for (int j = 0; j < columns; ++j) {
        int rows[3];
        RowsOf(j, rows);
        const int pairP[3] = {rows[0], rows[0], rows[1]};
        const int pairQ[3] = {rows[1], rows[2], rows[2]};
        for (int t = 0; t < 3; ++t) {
            const int p = pairP[t], q = pairQ[t];
            forbid[t].assign(z, 0);
            six[t].assign(z, 0);
            for (int j1 = 0; j1 < j; ++j1) {
                if (s[q][j1] < 0) continue;
                // 4-cycle: q -> p through column j1.
                if (s[p][j1] >= 0) forbid[t][Mod(s[p][j1] - s[q][j1], z)] = 1;
                // 6-cycle: q -> u through j1, u -> p through j2.
                for (int u = 0; u < kBlockRows; ++u) {
                    if (u == p || u == q || s[u][j1] < 0) continue;
                    for (int j2 = 0; j2 < j; ++j2) {
                        if (j2 == j1 || s[u][j2] < 0 || s[p][j2] < 0) continue;
                        const long rest = s[q][j1] - s[u][j1] + s[u][j2] - s[p][j2];
                        ++six[t][Mod(-rest, z)];
                    }
                }
            }
        }
        // s_{rows[0]} = 0, s_{rows[1]} = a, s_{rows[2]} = b: the pairs' d are
        // -a, -b and a - b.
        long bestCost = -1;
        int bestA = -1, bestB = -1;
        for (int a = 0; a < z; ++a) {
            const int d0 = Mod(-a, z);
            if (forbid[0][d0]) continue;
            for (int b = 0; b < z; ++b) {
                const int d1 = Mod(-b, z), d2 = Mod(a - b, z);
                if (forbid[1][d1] || forbid[2][d2]) continue;
                const long cost = six[0][d0] + six[1][d1] + six[2][d2];
                if (bestCost < 0 || cost < bestCost) bestCost = cost, bestA = a, bestB = b;
            }
        }
        if (bestCost < 0) throw std::logic_error("no shifts without a 4-cycle");
        s[rows[0]][j] = 0;
        s[rows[1]][j] = bestA;
        s[rows[2]][j] = bestB;
    }
    return s;
}

Code QuasiCyclic(const std::vector<std::vector<int>>& shifts, int z, std::string name) {
    const int blockRows = static_cast<int>(shifts.size());
    const int columns = static_cast<int>(shifts[0].size());
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(blockRows) * z);
    for (int i = 0; i < blockRows; ++i)
        for (int r = 0; r < z; ++r)
            for (int j = 0; j < columns; ++j)
                if (shifts[i][j] >= 0) rows[i * z + r].push_back(j * z + (r + shifts[i][j]) % z);
    return CodeFromChecks(columns * z, rows, std::move(name));
}

const std::vector<BuiltinCode>& BuiltinCodes() {
    static const std::vector<BuiltinCode> table = {
        {"sector512", "a 512-byte sector: 4096 user bits in 4608, rate 8/9, column weight 3", 128,
         36},
        {"sector4k", "a 4 KiB sector: 32768 user bits in 36864, rate 8/9, column weight 3", 1024,
         36},
    };
    return table;
}

std::optional<Code> Builtin(const std::string& name) {
    for (const BuiltinCode& b : BuiltinCodes())
        if (name == b.name)
            return QuasiCyclic(BaseShifts(b.circulant, b.blockColumns), b.circulant, b.name);
    return std::nullopt;
}

} // namespace codes
