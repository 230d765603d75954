#include "channel/random.h"

namespace channel {

std::uint32_t randomState = 1u;

void SeedRandom(std::uint32_t seed) {
    randomState = seed;
    (void)NextRandom();
}

std::int32_t NextRandom() {
    randomState = AdvanceRandomState(randomState);
    return RandomValueOf(randomState);
}

} // namespace channel
