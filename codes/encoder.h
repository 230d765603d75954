#pragma once
// A systematic encoder for any code, from one dense GF(2) elimination.
//
// Which columns carry the user bits: a column of H carries parity when it is
// not a sum of columns to its right, and the user bits fill the other k
// columns in increasing order. (The pivots of H's row echelon form with its
// columns taken from the right; for the built-in codes, whose last n - k
// columns are independent, the user bits are columns 0 ... k-1.) A
// rank-deficient H changes nothing: its dependent rows simply give no pivot.
#include <cstdint>
#include <vector>

#include "codes/code.h"

namespace codes {

class Encoder {
  public:
    explicit Encoder(const Code& code);

    int UserBits() const { return static_cast<int>(userColumns_.size()); }
    // The columns carrying the user bits, ascending, and the others.
    const std::vector<int>& UserColumns() const { return userColumns_; }
    const std::vector<int>& ParityColumns() const { return parityColumns_; }

    // codeword[0 ... n-1] (0/1 bytes) with the user bits user[0 ... k-1] in
    // UserColumns() and H codeword = 0.
    void Encode(const std::uint8_t* user, std::uint8_t* codeword) const;

  private:
    Code code_;
    std::vector<int> userColumns_, parityColumns_;
    // Parity bit i is the parity of row i of T and the syndrome s = H_u u of
    // the user bits alone: T H_p = I for the parity columns' part H_p.
    int words_ = 0; // per row of T, m bits
    std::vector<std::uint64_t> t_;
};

} // namespace codes
