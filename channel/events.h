#pragma once
// Error events of a target's maximum-likelihood detector.
//
// An error event is the difference e = p - p' of two precoder sequences that
// leave the same state and meet again: entries -1, 0, +1, the first and the
// last nonzero, no run of nu zeros inside (nu equal precoder bits bring both
// paths into one state, which would end the event there). Its distance d2 is
// the sum of squares of e convolved with the target. Events are
// sign-normalised: e and -e have the same d2 and the same raw-bit errors, so
// only the one whose first entry is +1 is listed.
//
// The length cap is essential: on E3PR4 the alternating events + - + - ... of
// every length >= 5 all have d2 = 20, because the target has the factor
// (1 + D)^4 and an alternating sequence is 1 / (1 + D) up to its ends.
// Without a cap no list with d2 >= 20 is finite.
#include <cstdint>
#include <string>
#include <vector>

#include "channel/target.h"

namespace channel {

struct ErrorEvent {
    double d2 = 0;
    std::vector<std::int8_t> e;
    // The raw bits the event costs: with a precoder the ones of (|e| mod 2)
    // times f mod 2 over GF(2), over the whole span; without one, every
    // nonzero entry (the raw bits are the precoder bits).
    int rawBitErrors = 0;
};

// Error events: first nonzero +1, last nonzero, no run of nu zeros inside,
// d2 <= maxD2, length <= maxLen; ordered by d2, then length, then the
// sequence ('-' before '0' before '+'). Found by a depth-first search that
// drops a prefix as soon as the squares of its settled outputs pass maxD2:
// they only grow as the event goes on.
std::vector<ErrorEvent> FindErrorEvents(const Target& target, double maxD2, int maxLen);

// The difference e of two paths as the list shows it: negated when its first
// nonzero entry is -1, its zeros before the first and after the last nonzero
// entry dropped, d2 and the raw-bit errors computed as the search does, in
// the same order (so an event the search finds compares equal to its entry).
// e holds -1, 0, +1 and at least one nonzero entry.
ErrorEvent MakeErrorEvent(const Target& target, std::vector<std::int8_t> e);

// The smallest d2 of an event of at most maxLen bits, by the same search with
// its limit lowered to the best event found so far. The single error "+" has
// d2 = the target's energy, so the answer is at most that.
double MinimumDistance(const Target& target, int maxLen);
inline constexpr int kMinDistanceMaxLen = 24;

// The event written with '+', '-' and '0', e.g. "+-+".
std::string EventText(const ErrorEvent& ev);
// A distance as the lab prints it: a whole number as such ("12"), any other
// to nine significant digits.
std::string DistanceText(double d2);

// The events the lab sums the union bound over: d2 up to kBoundReach times
// d2min and length up to kBoundMaxLen. On E3PR4 that is d2 <= 40, about 4000
// events found in milliseconds; while the bound is below 3e-3 (sigma <= 0.6
// there) events further out add less than 1% to it, and beyond that the
// union bound grows without limit as events are added and says little
// anyway. The search grows quickly with the reach (d2 <= 64 gives about 10^5
// events on E3PR4), so callers cap what they ask.
inline constexpr double kBoundReach = 10.0 / 3.0;
inline constexpr int kBoundMaxLen = 20;
std::vector<ErrorEvent> UnionBoundEvents(const Target& target);

} // namespace channel
