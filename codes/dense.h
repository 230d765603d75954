#pragma once
// Dense GF(2) matrices for the rank and the encoder, held by M4RI (internal
// to codes/). Column j of a row is bit j % 64 of the row's word j / 64.
#include <m4ri/m4ri.h>

#include <memory>
#include <mutex>

#include "codes/code.h"

namespace codes::dense {

struct Free {
    void operator()(mzd_t* a) const { mzd_free(a); }
};
using Matrix = std::unique_ptr<mzd_t, Free>;

// M4RI keeps one process-wide cache of freed blocks with no lock of its own,
// so two threads building encoders at once corrupt it. Hold this from before
// the first Matrix of a scope is made until after the last is freed (declare
// it first).
[[nodiscard]] std::unique_lock<std::mutex> Lock();

// H as a dense m x n matrix; with `reversed` its column j is H's column
// n-1-j.
Matrix OfCode(const Code& code, bool reversed);

// The first set column of row r at or after `from`, or -1.
int FirstBit(const mzd_t* a, int r, int from);

} // namespace codes::dense
