#pragma once
// The built-in quasi-cyclic codes, by name.
#include <optional>
#include <string>
#include <vector>

#include "codes/code.h"

namespace codes {

struct BuiltinCode {
    const char* name;
    const char* title; // one line for a list of codes
    int circulant;     // Z
    int blockColumns;  // L; the base has 4 block rows
};
// sector512 (4608 bits, 4096 user bits) and sector4k (36864 bits, 32768).
const std::vector<BuiltinCode>& BuiltinCodes();

// The code of that name, or nothing.
std::optional<Code> Builtin(const std::string& name);

// The base matrix of the quasi-cyclic code with Z x Z circulants and L block
// columns: shift[i][j] of block row i (0 ... 3) and block column j, -1 where
// the block is zero. Built by the search documented in builtin.cpp.
std::vector<std::vector<int>> BaseShifts(int circulant, int blockColumns);

// The code of a base matrix: block (i, j) with shift s puts a 1 at row
// i Z + r, column j Z + (r + s) mod Z, for r = 0 ... Z-1.
Code QuasiCyclic(const std::vector<std::vector<int>>& shifts, int circulant, std::string name);

} // namespace codes
