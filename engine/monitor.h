#pragma once
// What one detector (or decoder) got right and wrong: counted on the raw
// bits, the data a user stored, on whole frames, and on sectors. A Monitor
// counts; what is shown of it is a front end's (a reporter's) business.
#include <cstdint>

namespace engine {

struct Monitor {
    std::uint64_t bits = 0;
    std::uint64_t bitErrors = 0;
    std::uint64_t frames = 0;
    std::uint64_t frameErrors = 0; // frames with at least one wrong bit
    // Sectors: the units a drive stores and loses whole. A sector is in error
    // when any of its bits is wrong; a decoder that claims a sector right
    // while some of its bits are wrong makes an undetected error (counted
    // among the sector errors too).
    std::uint64_t sectors = 0;
    std::uint64_t sectorErrors = 0;
    std::uint64_t undetected = 0;

    // One frame of n bits, decided against the truth (both 0/1 bytes).
    void Count(const std::uint8_t* decided, const std::uint8_t* raw, int n) {
        const std::uint32_t wrong = Wrong(decided, raw, n);
        bits += static_cast<std::uint64_t>(n);
        bitErrors += wrong;
        frames += 1;
        frameErrors += wrong != 0 ? 1 : 0;
    }
    // The same frame cut into sectors of `sectorBits` bits (the last one
    // shorter when n is no multiple of it), each counted as well.
    void CountSectors(const std::uint8_t* decided, const std::uint8_t* raw, int n, int sectorBits) {
        std::uint32_t wrong = 0;
        for (int first = 0; first < n; first += sectorBits) {
            const int length = n - first < sectorBits ? n - first : sectorBits;
            const std::uint32_t w = Wrong(decided + first, raw + first, length);
            sectors += 1;
            sectorErrors += w != 0 ? 1 : 0;
            wrong += w;
        }
        bits += static_cast<std::uint64_t>(n);
        bitErrors += wrong;
        frames += 1;
        frameErrors += wrong != 0 ? 1 : 0;
    }
    // One decoded sector of n bits: `failed` when the decoder said it could
    // not decode it (a sector error whatever its bits), else an error when a
    // bit is wrong all the same, and then an undetected one.
    void CountDecoded(const std::uint8_t* decided, const std::uint8_t* raw, int n, bool failed) {
        const std::uint32_t wrong = Wrong(decided, raw, n);
        bits += static_cast<std::uint64_t>(n);
        bitErrors += wrong;
        frames += 1;
        frameErrors += wrong != 0 ? 1 : 0;
        sectors += 1;
        sectorErrors += failed || wrong != 0 ? 1 : 0;
        undetected += !failed && wrong != 0 ? 1 : 0;
    }
    void Add(const Monitor& other) {
        bits += other.bits;
        bitErrors += other.bitErrors;
        frames += other.frames;
        frameErrors += other.frameErrors;
        sectors += other.sectors;
        sectorErrors += other.sectorErrors;
        undetected += other.undetected;
    }
    // The counts as words, in a fixed order (for passing them between the
    // processes of a cluster run).
    static constexpr int kWords = 7;
    void ToWords(std::uint64_t* w) const {
        const std::uint64_t v[kWords] = {bits,    bitErrors,    frames,    frameErrors,
                                         sectors, sectorErrors, undetected};
        for (int i = 0; i < kWords; ++i) w[i] = v[i];
    }
    void FromWords(const std::uint64_t* w) {
        std::uint64_t* v[kWords] = {&bits,    &bitErrors,    &frames,    &frameErrors,
                                    &sectors, &sectorErrors, &undetected};
        for (int i = 0; i < kWords; ++i) *v[i] = w[i];
    }
    double Ber() const { return bits > 0 ? double(bitErrors) / double(bits) : 0.0; }
    double Fer() const { return frames > 0 ? double(frameErrors) / double(frames) : 0.0; }
    double Ser() const { return sectors > 0 ? double(sectorErrors) / double(sectors) : 0.0; }

  private:
    // Bits are 0 or 1, so the exclusive or counts the differences; a 32-bit
    // sum cannot overflow within one frame.
    static std::uint32_t Wrong(const std::uint8_t* decided, const std::uint8_t* raw, int n) {
        std::uint32_t wrong = 0;
        for (int k = 0; k < n; ++k) wrong += static_cast<std::uint32_t>(decided[k] ^ raw[k]);
        return wrong;
    }
};

} // namespace engine
