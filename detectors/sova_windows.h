#pragma once
// What the soft-output Viterbi detectors share (detectors/sova.h and the
// constrained one, detectors/constrained_soft.h): each state's window of raw
// bits and reliabilities, and Battail's update of a survivor against its
// competitor.
#include <cstdint>
#include <limits>
#include <vector>

namespace detectors::sova {

inline constexpr float kUnrivalled = std::numeric_limits<float>::infinity();

// The best state (the lowest on a tie).
inline int BestOf(const std::vector<float>& m) {
    int best = 0;
    for (std::size_t s = 1; s < m.size(); ++s)
        if (m[s] > m[static_cast<std::size_t>(best)]) best = static_cast<int>(s);
    return best;
}

// Each state's window: the raw bits and reliabilities of positions k - W + 1
// ... k at slot position mod W.
struct Windows {
    int width = 0;
    std::vector<std::uint8_t> bit;
    std::vector<float> rel;
    Windows(int states, int w)
        : width(w), bit(static_cast<std::size_t>(states * w)),
          rel(static_cast<std::size_t>(states * w), kUnrivalled) {}
    std::size_t At(int s, int p) const { return static_cast<std::size_t>(s * width + p % width); }
};

// Battail's update of `into` (a copy of the survivor) against the competitor
// over positions first ... last.
inline void Update(const Windows& from, int win, int lose, float delta, int first, int last,
                   Windows& to, int into) {
    for (int p = first; p <= last; ++p) {
        const std::size_t w = from.At(win, p), l = from.At(lose, p), o = to.At(into, p);
        const float r = from.rel[w];
        const float rival = from.bit[w] != from.bit[l] ? delta : delta + from.rel[l];
        to.rel[o] = rival < r ? rival : r;
        to.bit[o] = from.bit[w];
    }
}

// The survivor's window alone over positions first ... last (a competitor
// that no allowed path makes).
inline void Copy(const Windows& from, int win, int first, int last, Windows& to, int into) {
    for (int p = first; p <= last; ++p) {
        to.rel[to.At(into, p)] = from.rel[from.At(win, p)];
        to.bit[to.At(into, p)] = from.bit[from.At(win, p)];
    }
}

} // namespace detectors::sova
