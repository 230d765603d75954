#pragma once
// The classical sector code's failures, counted without decoding: a
// bounded-distance Reed-Solomon decoder over GF(2^10) that corrects t symbols
// loses its word exactly when more than t of the word's 10-bit symbols are
// wrong, so a sector is lost when any of its words has more than t.
//
// The layout. The U user bits are cut into D = ceil(U / 10) symbols (the last
// one short when 10 does not divide U: its missing bits are known zeros, not
// recorded), followed by the 2t W parity symbols of the W words. Symbol s of
// that stream, data and parity alike, belongs to word s mod W, so each word
// gets 2t parity symbols and ceil or floor of D / W data symbols. A word
// holds at most 1023 symbols, and W is the fewest words that fit: a 4 KiB
// sector (3277 symbols) is four words up to t = 101. The recorded sector has
// U + 20 t W bits and the rate is U over that.
#include <cstdint>
#include <vector>

namespace codes {

inline constexpr int kSymbolBits = 10;
inline constexpr int kMaxWordSymbols = 1023;

struct RsLayout {
    int userBits = 0;
    int t = 0;
    int dataSymbols = 0;
    int words = 0;
    int longestWord = 0; // symbols of the longest word, data and parity
    int recordedBits = 0;
    double rate = 0;
};

// The layout for U >= 1 user bits and 0 <= t <= 511; words = 0 otherwise.
RsLayout LayoutRs(int userBits, int t);

// The t whose rate is nearest `rate` (the larger t on a tie).
int NearestT(int userBits, double rate);

struct RsCount {
    std::vector<int> wrongSymbols; // per word
    bool lost = false;             // some word has more than t
};

// Compares the recorded bits of one sector, truth and decided
// (layout.recordedBits 0/1 bytes each).
RsCount CountSector(const RsLayout& layout, const std::uint8_t* truth, const std::uint8_t* decided);

} // namespace codes
