#pragma once
// Eight bits to eight 0/1 bytes by one table look-up.
#include <array>
#include <cstdint>

namespace channel {

// bytes[v]: byte j is bit j of v, so that in memory (little-endian) the bits
// of v come out as eight 0/1 bytes in order.
struct BitBytes {
    std::array<std::uint64_t, 256> bytes{};
    BitBytes() {
        for (unsigned v = 0; v < 256; ++v)
            for (unsigned j = 0; j < 8; ++j)
                bytes[v] |= static_cast<std::uint64_t>((v >> j) & 1u) << (8 * j);
    }
};

inline const BitBytes kBitBytes;

} // namespace channel
