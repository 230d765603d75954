#pragma once
// What a code is: its sizes, rank, weights and the length and number of its
// shortest cycles.
#include <cstdint>
#include <map>
#include <string>

#include "codes/code.h"

namespace codes {

// The rank of H over GF(2) (M4RI's elimination).
int Rank(const Code& code);

// The girth of the Tanner graph (the length of its shortest cycle; 0 when it
// has none) and the number of cycles of that length.
//
// How they are counted: a breadth-first search from each variable node v
// counts, level by level, the shortest paths from v to every node. In a
// graph of girth g, two different shortest paths of length g/2 from v to a
// node w close a cycle of length g through v with w opposite v, and every
// such cycle arises from exactly one pair: so the cycles of length g through
// v number Sum_w C(paths(w), 2) over the nodes w at distance g/2, and the
// first level at which any node has two shortest paths is half the length of
// the shortest cycle through v. A cycle of length g holds g/2 variable
// nodes, so the sum over all v counts each cycle g/2 times, once from each.
struct Girth {
    int girth = 0;
    std::uint64_t cycles = 0;
};
Girth GirthAndCycles(const Code& code);

struct CodeReport {
    int n = 0, m = 0, rank = 0, k = 0;
    double rate = 0;                              // k / n
    std::map<int, int> columnWeights, rowWeights; // weight -> how many
    Girth girth;
};
CodeReport Report(const Code& code);

// The report as lines of text, "n 4608" and so on.
std::string FormatReport(const CodeReport& report);

} // namespace codes
