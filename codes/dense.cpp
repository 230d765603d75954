#include "codes/dense.h"

namespace codes::dense {

std::unique_lock<std::mutex> Lock() {
    static std::mutex m4ri;
    return std::unique_lock<std::mutex>(m4ri);
}

Matrix OfCode(const Code& code, bool reversed) {
    Matrix a(mzd_init(code.m, code.n));
    for (int c = 0; c < code.m; ++c)
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e) {
            const int v = code.checkVar[e];
            mzd_write_bit(a.get(), c, reversed ? code.n - 1 - v : v, 1);
        }
    return a;
}

int FirstBit(const mzd_t* a, int r, int from) {
    const word* row = mzd_row(a, r);
    for (int w = from / m4ri_radix; w * m4ri_radix < a->ncols; ++w) {
        word bits = row[w];
        if (w == from / m4ri_radix) bits &= ~word(0) << (from % m4ri_radix);
        if (bits) {
            const int col = w * m4ri_radix + __builtin_ctzll(bits);
            return col < a->ncols ? col : -1;
        }
    }
    return -1;
}

} // namespace codes::dense
