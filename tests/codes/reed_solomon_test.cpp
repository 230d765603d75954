#include <gtest/gtest.h>

#include "codes/reed_solomon.h"

namespace codes {
namespace {

TEST(ReedSolomon, LayoutOfASector) {
    struct Case {
        int userBits, t;
        int dataSymbols, words, longestWord, recordedBits;
    };
    for (const Case& c : {Case{4096, 26, 410, 1, 462, 4616}, Case{32768, 51, 3277, 4, 922, 36848},
                          Case{32768, 101, 3277, 4, 1022, 40848},
                          Case{32768, 102, 3277, 5, 860, 42968}, Case{5, 0, 1, 1, 1, 5},
                          Case{10230, 0, 1023, 1, 1023, 10230}, Case{10231, 0, 1024, 2, 512, 10231},
                          Case{4096, 512, 0, 0, 0, 0}, Case{0, 3, 0, 0, 0, 0}}) {
        const RsLayout r = LayoutRs(c.userBits, c.t);
        EXPECT_EQ(r.dataSymbols, c.dataSymbols) << c.userBits << " " << c.t;
        EXPECT_EQ(r.words, c.words) << c.userBits << " " << c.t;
        EXPECT_EQ(r.longestWord, c.longestWord) << c.userBits << " " << c.t;
        EXPECT_EQ(r.recordedBits, c.recordedBits) << c.userBits << " " << c.t;
    }
    // The LDPC codes' rate 8/9: t = 26 (rate 0.8873) against 25 (0.8911).
    EXPECT_EQ(NearestT(4096, 8.0 / 9), 26);
    EXPECT_EQ(NearestT(32768, 8.0 / 9), 51);
    EXPECT_EQ(NearestT(4096, 1.0), 0);
    EXPECT_EQ(NearestT(4096, 4096.0 / 4116), 1);
}

TEST(ReedSolomon, CountsWrongSymbolsPerWordAtTheEdges) {
    struct Case {
        int userBits, t;
        std::vector<int> flipped; // recorded bits decided wrong
        std::vector<int> wrong;   // symbols per word
        bool lost;
    };
    const Case cases[] = {
        {4096, 2, {}, {0}, false},
        {4096, 2, {0, 9}, {1}, false},       // one symbol's first and last bit
        {4096, 2, {9, 10}, {2}, false},      // two symbols' shared edge
        {4096, 2, {0, 10, 20}, {3}, true},   // t + 1
        {4096, 2, {4095, 4090}, {1}, false}, // the short last data symbol (6 bits)
        {4096, 2, {4089, 4096}, {2}, false}, // its neighbour, and the first parity bit
        {4096, 2, {4096 + 39}, {1}, false},  // the last parity symbol's last bit
        {32768, 51, {0, 40, 80}, {3, 0, 0, 0}, false},
        {32768, 51, {10, 20, 30}, {0, 1, 1, 1}, false},
        {32768, 51, {32768}, {0, 1, 0, 0}, false}, // parity symbol 0 is stream symbol 3277
        {32768, 1, {0, 40, 80, 1}, {3, 0, 0, 0}, true},
        {32768, 1, {0, 40, 10, 50, 20, 60, 30, 70}, {2, 2, 2, 2}, true},
        {32768, 1, {0, 10, 20, 30}, {1, 1, 1, 1}, false},
    };
    for (const Case& c : cases) {
        const RsLayout layout = LayoutRs(c.userBits, c.t);
        std::vector<std::uint8_t> truth(layout.recordedBits, 0), decided(truth);
        for (int i = 0; i < layout.recordedBits; i += 3) truth[i] = decided[i] = 1;
        for (int b : c.flipped) decided[b] ^= 1;
        const RsCount n = CountSector(layout, truth.data(), decided.data());
        EXPECT_EQ(n.wrongSymbols, c.wrong) << c.userBits << " first " << c.flipped.size();
        EXPECT_EQ(n.lost, c.lost) << c.userBits;
    }
}

} // namespace
} // namespace codes
