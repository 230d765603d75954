#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "channel/noise.h"
#include "codes/alist.h"
#include "codes/builtin.h"
#include "codes/encoder.h"
#include "codes/report.h"

namespace codes {
namespace {

using Rows = std::vector<std::vector<int>>;

// Every simple cycle of the Tanner graph, by a depth-first search from each
// node through higher-numbered nodes only: its length -> how many.
std::map<int, std::uint64_t> BruteCycles(const Code& code) {
    const int n = code.n, nodes = n + code.m;
    std::vector<std::vector<int>> adj(nodes);
    for (int c = 0; c < code.m; ++c)
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e)
            adj[code.checkVar[e]].push_back(n + c), adj[n + c].push_back(code.checkVar[e]);
    std::map<int, std::uint64_t> twice;
    std::vector<char> on(nodes, 0);
    auto dfs = [&](auto& self, int start, int x, int len) -> void {
        for (int y : adj[x]) {
            if (y == start && len >= 3) ++twice[len + 1];
            if (y > start && !on[y]) on[y] = 1, self(self, start, y, len + 1), on[y] = 0;
        }
    };
    for (int s = 0; s < nodes; ++s) on[s] = 1, dfs(dfs, s, s, 0), on[s] = 0;
    for (auto& [len, count] : twice) count /= 2; // each cycle in both directions
    return twice;
}

Code RandomCode(int n, int m, int perMille, std::uint64_t seed) {
    channel::NoiseSource rng(seed, 7);
    Rows rows(m);
    for (int c = 0; c < m; ++c)
        for (int v = 0; v < n; ++v)
            if (rng.Bits() % 1000 < static_cast<std::uint64_t>(perMille)) rows[c].push_back(v);
    return CodeFromChecks(n, rows);
}

TEST(Code, GirthAndCycleCountsMatchABruteForceCount) {
    struct Case {
        int n, m, perMille;
        std::uint64_t seed;
    };
    for (const Case& k :
         {Case{6, 3, 500, 1}, Case{9, 5, 350, 2}, Case{12, 6, 300, 3}, Case{14, 7, 220, 4},
          Case{16, 8, 180, 5}, Case{10, 4, 150, 6}, Case{12, 8, 250, 7}}) {
        const Code code = RandomCode(k.n, k.m, k.perMille, k.seed);
        const std::map<int, std::uint64_t> brute = BruteCycles(code);
        const Girth g = GirthAndCycles(code);
        if (brute.empty()) {
            EXPECT_EQ(g.girth, 0) << k.seed;
            continue;
        }
        EXPECT_EQ(g.girth, brute.begin()->first) << k.seed;
        EXPECT_EQ(g.cycles, brute.begin()->second) << k.seed;
    }
    // A tree has none; two columns sharing two checks make one 4-cycle.
    EXPECT_EQ(GirthAndCycles(CodeFromChecks(4, {{0, 1}, {1, 2, 3}})).girth, 0);
    EXPECT_EQ(GirthAndCycles(CodeFromChecks(3, {{0, 1, 2}, {0, 1}})).cycles, 1u);
}

TEST(Code, RankOverGf2) {
    struct Case {
        int n;
        Rows rows;
        int rank;
    };
    for (const Case& k : {Case{3, {{0, 1}, {1, 2}}, 2}, Case{2, {{0, 1}, {0, 1}}, 1},
                          Case{6, {{0, 1, 2}, {2, 3, 4}, {0, 1, 3, 4}, {4, 5}}, 3},
                          Case{4, {{0, 1}, {1, 2}, {2, 3}, {0, 3}}, 3}})
        EXPECT_EQ(Rank(CodeFromChecks(k.n, k.rows)), k.rank);
}

std::uint64_t Fnv(const std::vector<int>& v) {
    std::uint64_t h = 1469598103934665603ull;
    for (int x : v) h = (h ^ static_cast<std::uint64_t>(x)) * 1099511628211ull;
    return h;
}

TEST(Code, BuiltinCodesAreWhatTheirCommentSays) {
    struct Case {
        const char* name;
        int n, k, girth;
        std::uint64_t cycles, hash;
    };
    for (const Case& c : {Case{"sector512", 4608, 4096, 6, 2944, 0xf153011e83dd5103ull},
                          Case{"sector4k", 36864, 32768, 8, 5151744, 0x56d7264d55bd4783ull}}) {
        const Code code = *Builtin(c.name);
        const CodeReport r = Report(code);
        EXPECT_EQ(r.n, c.n);
        EXPECT_EQ(r.k, c.k);
        EXPECT_EQ(r.columnWeights, (std::map<int, int>{{3, c.n}}));
        EXPECT_EQ(r.rowWeights, (std::map<int, int>{{27, c.n - c.k}}));
        EXPECT_EQ(r.girth.girth, c.girth);
        EXPECT_EQ(r.girth.cycles, c.cycles);
        EXPECT_EQ(Fnv(code.checkVar), c.hash) << std::hex << Fnv(code.checkVar);
        std::string error;
        EXPECT_EQ(*ReadAlist(WriteAlist(code), &error), code) << c.name;

        // Systematic: user bits in columns 0 ... k-1, every frame a codeword.
        const Encoder enc(code);
        ASSERT_EQ(enc.UserBits(), c.k);
        EXPECT_EQ(enc.UserColumns().back(), c.k - 1);
        channel::NoiseSource rng(9, 0);
        std::vector<std::uint8_t> user(c.k), word(c.n);
        for (int rep = 0; rep < 3; ++rep) {
            rng.RandomBits(user.data(), c.k);
            enc.Encode(user.data(), word.data());
            EXPECT_TRUE(SyndromeZero(code, word.data()));
            EXPECT_TRUE(std::equal(user.begin(), user.end(), word.begin()));
        }
    }
    EXPECT_FALSE(Builtin("sector1k"));
}

TEST(Code, EncoderOfARankDeficientCodeGivesEveryCodewordOnce) {
    // The third check is the sum of the first two.
    const Code code = CodeFromChecks(6, {{0, 1, 2}, {2, 3, 4}, {0, 1, 3, 4}, {4, 5}});
    const Encoder enc(code);
    EXPECT_EQ(enc.UserColumns(), (std::vector<int>{0, 1, 3}));
    std::set<std::vector<std::uint8_t>> encoded, all;
    for (int u = 0; u < 8; ++u) {
        std::vector<std::uint8_t> user = {std::uint8_t(u & 1), std::uint8_t(u >> 1 & 1),
                                          std::uint8_t(u >> 2)},
                                  word(6);
        enc.Encode(user.data(), word.data());
        encoded.insert(word);
    }
    for (int w = 0; w < 64; ++w) {
        std::vector<std::uint8_t> word(6);
        for (int i = 0; i < 6; ++i) word[i] = w >> i & 1;
        if (SyndromeZero(code, word.data())) all.insert(word);
    }
    EXPECT_EQ(encoded, all);
    EXPECT_EQ(encoded.size(), 8u);
}

TEST(Code, EncodersBuiltOnSeveralThreadsAtOnceAreSound) {
    // The dense algebra's allocator is shared by the whole process.
    const Code code = *Builtin("sector512");
    std::vector<int> sound(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int rep = 0; rep < 3; ++rep) {
                const Encoder enc(code);
                std::vector<std::uint8_t> user(enc.UserBits(), 1), word(code.n);
                enc.Encode(user.data(), word.data());
                sound[t] +=
                    SyndromeZero(code, word.data()) && Rank(code) == code.n - enc.UserBits();
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(sound, std::vector<int>(4, 3));
}

// Columns {1}, {1, 2}, {2}; rows {1, 2}, {2, 3}.
const char* const kSmall = "3 2\n2 2\n1 2 1\n2 2\n1 0\n1 2\n2 0\n1 2\n2 3\n";

TEST(Alist, ReadsWritesAndReadsBack) {
    std::string error;
    const std::optional<Code> small = ReadAlist(kSmall, &error);
    ASSERT_TRUE(small) << error;
    EXPECT_EQ(small->checkVar, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(small->varCheck, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(WriteAlist(*small), kSmall);
    // Unpadded lists, blank lines and CRLF read the same.
    EXPECT_EQ(*ReadAlist("3 2\r\n\n2 2\n1 2 1\n2 2\n1\n1 2\n2\n1 2\n2 3", &error), *small);
    const Code irregular = CodeFromChecks(7, {{0, 3, 6}, {1, 2}, {0, 1, 2, 4, 5}});
    EXPECT_EQ(*ReadAlist(WriteAlist(irregular), &error), irregular);
}

TEST(Alist, RefusesAMalformedFileNamingItsLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"", "line 1: the file ends before its sizes N M"},
        {"3 2\n", "line 2: the file ends before the largest weights"},
        {"3 x\n", "line 1: 'x' is not a whole number"},
        {"3 2 7\n", "line 1: the sizes must be two numbers N M in 1 ... 16777216"},
        {"3 2\n3 2\n", "line 2: the largest weights must be two numbers, 1 ... 2 and 1 ... 3"},
        {"3 2\n2 2\n1 2\n", "line 3: 2 weights, not 3 column weights"},
        {"3 2\n2 2\n1 1 1\n", "line 3: the largest column weight is 1, not the stated 2"},
        {"3 2\n2 2\n1 2 1\n2 1\n", "line 4: the row weights add up to 3, the column weights to 4"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 3\n", "line 6: column 2 lists row 3, outside 1 ... 2"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 1\n", "line 6: column 2 lists row 1 twice"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 2\n", "line 5: column 1 lists 2 rows where its weight says 1"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1\n", "line 6: column 2 lists 1 entry, not its weight 2"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 2\n2 0\n1 2\n1 3\n",
         "line 9: row 2 lists column 1, whose line does not list row 2"},
        {"3 2\n\n2 2\n1 2 1\n2 2\n1 0\n1 2\n2 0\n1 2\n1 3\n",
         "line 10: row 2 lists column 1, whose line does not list row 2"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 2\n2 0\n1 2\n", "line 9: the file ends before row 2's line"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 2\n", "line 7: the file ends before column 3's line"},
        {"3 2\n2 2\n1 2 1\n2 2\n1 0\n1 2\n2 0\n1 2\n2 3\n0\n",
         "line 10: text after the last row's line"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ReadAlist(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.message);
    }
}

} // namespace
} // namespace codes
