#pragma once
// A binary LDPC code as its parity-check matrix H, stored sparse both ways:
// each check's columns and each column's checks. Edges are numbered in check
// order (check 0's columns first, each check's columns ascending), the order
// in which the layered decoders keep their check-to-variable messages.
#include <cstdint>
#include <string>
#include <vector>

namespace codes {

struct Code {
    int n = 0; // code bits (columns of H)
    int m = 0; // checks (rows of H)
    // Check c's columns are checkVar[checkStart[c] ... checkStart[c + 1] - 1],
    // ascending; that range is also check c's edges.
    std::vector<int> checkStart;
    std::vector<int> checkVar;
    // Column v's checks are varCheck[varStart[v] ... varStart[v + 1] - 1],
    // ascending, and varEdge holds the edge of each.
    std::vector<int> varStart;
    std::vector<int> varCheck;
    std::vector<int> varEdge;
    std::string name; // "sector512", a file's name, or empty

    int Edges() const { return static_cast<int>(checkVar.size()); }
    int RowWeight(int c) const { return checkStart[c + 1] - checkStart[c]; }
    int ColumnWeight(int v) const { return varStart[v + 1] - varStart[v]; }
    int MaxRowWeight() const;

    bool operator==(const Code& o) const {
        return n == o.n && m == o.m && checkStart == o.checkStart && checkVar == o.checkVar;
    }
};

// The code with n columns whose check c has the columns rows[c] (any order,
// no repeats, each in 0 ... n-1; the caller has checked).
Code CodeFromChecks(int n, const std::vector<std::vector<int>>& rows, std::string name = {});

// Whether the 0/1 bytes bits[0 ... n-1] satisfy every check: H c = 0.
bool SyndromeZero(const Code& code, const std::uint8_t* bits);

} // namespace codes
