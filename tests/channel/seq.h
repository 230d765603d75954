#pragma once
// The channel keeps its sequences in plain arrays; tests compare copies.
#include <algorithm>
#include <array>
#include <string>

#include "channel/coding.h"

namespace channel::test {

using Seq = std::array<std::int32_t, kBits>;

inline Seq Copy(const Sequence& s) {
    Seq out{};
    std::copy(s, s + kBits, out.begin());
    return out;
}

inline std::string ToBits(const Sequence& s) {
    std::string bits;
    for (auto v : s) bits += static_cast<char>('0' + v);
    return bits;
}

} // namespace channel::test
