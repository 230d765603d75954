#include "codes/encoder.h"

#include "codes/dense.h"

namespace codes {

Encoder::Encoder(const Code& code) : code_(code) {
    const auto lock = dense::Lock();
    const int n = code.n, m = code.m;
    // The pivots of H with its columns reversed.
    std::vector<char> parity(n, 0);
    {
        const dense::Matrix h = dense::OfCode(code, true);
        const int rank = mzd_echelonize_m4ri(h.get(), 0, 0);
        int from = 0;
        for (int r = 0; r < rank; ++r) {
            const int col = dense::FirstBit(h.get(), r, from);
            parity[n - 1 - col] = 1;
            from = col + 1;
        }
    }
    for (int v = 0; v < n; ++v) (parity[v] ? parityColumns_ : userColumns_).push_back(v);
    const int r = static_cast<int>(parityColumns_.size());

    // [H_p | I_m] in reduced row echelon form: H_p has full column rank r, so
    // its first r rows are [I_r | T].
    dense::Matrix a(mzd_init(m, r + m));
    for (int i = 0; i < r; ++i) {
        const int v = parityColumns_[i];
        for (int e = code.varStart[v]; e < code.varStart[v + 1]; ++e)
            mzd_write_bit(a.get(), code.varCheck[e], i, 1);
    }
    for (int c = 0; c < m; ++c) mzd_write_bit(a.get(), c, r + c, 1);
    mzd_echelonize(a.get(), 1);
    words_ = (m + 63) / 64;
    t_.assign(static_cast<std::size_t>(r) * words_, 0);
    for (int i = 0; i < r; ++i)
        for (int c = 0; c < m; ++c)
            if (mzd_read_bit(a.get(), i, r + c))
                t_[i * words_ + c / 64] |= std::uint64_t(1) << (c % 64);
}

void Encoder::Encode(const std::uint8_t* user, std::uint8_t* codeword) const {
    std::vector<std::uint64_t> s(words_, 0);
    for (int j = 0; j < UserBits(); ++j) {
        const int v = userColumns_[j];
        codeword[v] = user[j] & 1;
        if (codeword[v])
            for (int e = code_.varStart[v]; e < code_.varStart[v + 1]; ++e) {
                const int c = code_.varCheck[e];
                s[c / 64] ^= std::uint64_t(1) << (c % 64);
            }
    }
    for (std::size_t i = 0; i < parityColumns_.size(); ++i) {
        const std::uint64_t* row = &t_[i * words_];
        std::uint64_t acc = 0;
        for (int w = 0; w < words_; ++w) acc ^= row[w] & s[w];
        codeword[parityColumns_[i]] = static_cast<std::uint8_t>(__builtin_popcountll(acc) & 1);
    }
}

} // namespace codes
