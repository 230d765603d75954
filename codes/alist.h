#pragma once
// MacKay's alist text format for a sparse parity-check matrix:
//     N M
//     maxcolweight maxrowweight
//     the N column weights
//     the M row weights
//     N lines, one per column: its rows (1-based), padded with 0 to maxcolweight
//     M lines, one per row: its columns (1-based), padded with 0 to maxrowweight
// Blank lines are skipped; a column's or row's line may also stop after its
// own weight's entries, without the padding.
#include <optional>
#include <string>
#include <string_view>

#include "codes/code.h"

namespace codes {

// The code the text describes, or nothing with *error set to one line,
// "line L: what is wrong", L counting the text's lines from 1. The file is
// refused when a count disagrees with what it counts (a weight with its
// list, the stated largest weight with the largest one, the column weights'
// sum with the row weights'), an index is out of range or repeated, the
// column lists and the row lists disagree, it ends early or has text after
// the last row's line.
std::optional<Code> ReadAlist(std::string_view text, std::string* error);

// The code in the padded form; ReadAlist gives back the same code.
std::string WriteAlist(const Code& code);

} // namespace codes
