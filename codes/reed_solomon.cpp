#include "codes/reed_solomon.h"

#include <cmath>

namespace codes {

RsLayout LayoutRs(int userBits, int t) {
    RsLayout r;
    r.userBits = userBits;
    r.t = t;
    if (userBits < 1 || t < 0 || 2 * t >= kMaxWordSymbols) return r;
    r.dataSymbols = (userBits + kSymbolBits - 1) / kSymbolBits;
    const int room = kMaxWordSymbols - 2 * t; // data symbols a word can hold
    r.words = (r.dataSymbols + room - 1) / room;
    r.longestWord = (r.dataSymbols + r.words - 1) / r.words + 2 * t;
    r.recordedBits = userBits + 2 * t * r.words * kSymbolBits;
    r.rate = static_cast<double>(userBits) / r.recordedBits;
    return r;
}

int NearestT(int userBits, double rate) {
    int best = 0;
    double bestGap = -1;
    for (int t = 0; 2 * t < kMaxWordSymbols; ++t) {
        const RsLayout r = LayoutRs(userBits, t);
        if (r.words == 0) continue;
        const double gap = std::fabs(r.rate - rate);
        if (bestGap < 0 || gap <= bestGap) best = t, bestGap = gap;
    }
    return best;
}

RsCount CountSector(const RsLayout& layout, const std::uint8_t* truth,
                    const std::uint8_t* decided) {
    RsCount c;
    if (layout.words == 0) return c;
    c.wrongSymbols.assign(layout.words, 0);
    const int symbols = layout.dataSymbols + 2 * layout.t * layout.words;
    for (int s = 0; s < symbols; ++s) {
        // Data symbol s covers bits 10 s ... (the last one up to U); parity
        // symbol j = s - D covers U + 10 j ...
        const int first = s < layout.dataSymbols
                              ? s * kSymbolBits
                              : layout.userBits + (s - layout.dataSymbols) * kSymbolBits;
        int last = first + kSymbolBits;
        if (s < layout.dataSymbols && last > layout.userBits) last = layout.userBits;
        bool wrong = false;
        for (int b = first; b < last; ++b) wrong |= (truth[b] ^ decided[b]) & 1;
        if (wrong) ++c.wrongSymbols[s % layout.words];
    }
    for (int w : c.wrongSymbols) c.lost |= w > layout.t;
    return c;
}

} // namespace codes
