#pragma once
// Dense GF(2) matrices for the rank and the encoder, held by M4RI (internal
// to codes/). Column j of a row is bit j % 64 of the row's word j / 64.
#include <m4ri/m4ri.h>

#include <memory>

#include "codes/code.h"

namespace codes::dense {

struct Free {
    void operator()(mzd_t* a) const { mzd_free(a); }
};
using Matrix = std::unique_ptr<mzd_t, Free>;

// H as a dense m x n matrix; with `reversed` its column j is H's column
// n-1-j.
Matrix OfCode(const Code& code, bool reversed);

// The first set column of row r at or after `from`, or -1.
int FirstBit(const mzd_t* a, int r, int from);

} // namespace codes::dense
