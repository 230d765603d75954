#pragma once
// What one detector got right and wrong: counted on the raw bits, the data a
// user stored, and on whole frames.
#include <cstdint>

namespace engine {

struct Monitor {
    std::uint64_t bits = 0;
    std::uint64_t bitErrors = 0;
    std::uint64_t frames = 0;
    std::uint64_t frameErrors = 0; // frames with at least one wrong bit

    // One frame of n bits, decided against the truth (both 0/1 bytes).
    void Count(const std::uint8_t* decided, const std::uint8_t* raw, int n) {
        // Bits are 0 or 1, so the exclusive or counts the differences; a
        // 32-bit sum cannot overflow within one frame.
        std::uint32_t wrong = 0;
        for (int k = 0; k < n; ++k) wrong += static_cast<std::uint32_t>(decided[k] ^ raw[k]);
        bits += static_cast<std::uint64_t>(n);
        bitErrors += wrong;
        frames += 1;
        frameErrors += wrong != 0 ? 1 : 0;
    }
    void Add(const Monitor& other) {
        bits += other.bits;
        bitErrors += other.bitErrors;
        frames += other.frames;
        frameErrors += other.frameErrors;
    }
    double Ber() const { return bits > 0 ? double(bitErrors) / double(bits) : 0.0; }
    double Fer() const { return frames > 0 ? double(frameErrors) / double(frames) : 0.0; }
};

} // namespace engine
