#pragma once
// The channel's random source: a linear congruential generator with fixed
// constants. It is used instead of the library's generator because the
// sequence of blocks after start-up is part of what the program shows: every
// launch must show the same blocks in the same order.
#include <cstdint>

namespace channel {

inline constexpr std::uint32_t kRandomMultiplier = 22695477u;
inline constexpr std::uint32_t kRandomIncrement = 1u;
// What one draw returns at most.
inline constexpr std::int32_t kRandomMax = 0x7FFF;

// One step of the generator, modulo 2^32 by unsigned wrap-around.
constexpr std::uint32_t AdvanceRandomState(std::uint32_t state) {
    return state * kRandomMultiplier + kRandomIncrement;
}

// The value a draw returns for the state it has just produced: bits 16 ... 30.
constexpr std::int32_t RandomValueOf(std::uint32_t state) {
    return static_cast<std::int32_t>((state >> 16) & static_cast<std::uint32_t>(kRandomMax));
}

// Program-wide, from start to exit; starts at 1. Only SeedRandom and
// NextRandom change it.
extern std::uint32_t randomState;

// Sets the state to `seed`, then spends one draw.
void SeedRandom(std::uint32_t seed);

// Advances the state and returns 0 ... 32767.
std::int32_t NextRandom();

} // namespace channel
