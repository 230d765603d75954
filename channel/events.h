#pragma once
// Error events of the maximum-likelihood detector and the error rates they
// predict.
//
// An error event is the difference e = p - p' of two precoder sequences that
// leave the same state and meet again: entries -1, 0, +1, the first and the
// last nonzero, no run of five zeros inside (five equal precoder bits bring
// both paths into one state, which would end the event there). Its distance
// d2 is the sum of squares of e convolved with the target. Events are
// sign-normalised: e and -e have the same d2 and the same raw-bit errors, so
// only the one whose first entry is +1 is listed.
//
// The length cap is essential: the alternating events + - + - ... of every
// length >= 5 all have d2 = 20, because the target has the factor (1 + D)^4
// and an alternating sequence is 1 / (1 + D) up to its ends. Without a cap no
// list with d2 >= 20 is finite.
#include <cstdint>
#include <string>
#include <vector>

namespace channel {

struct ErrorEvent {
    int d2;
    std::vector<std::int8_t> e;
    // The raw bits the inverse precoder gets wrong: the ones of (|e| mod 2)
    // times 1 + D + D^4 + D^5 over GF(2), over the whole span.
    int rawBitErrors;
};

// Error events on the precoder bits: first nonzero +1, last nonzero, no run of
// five zeros inside, d2 <= maxD2, length <= maxLen; ordered by d2, then
// length, then the sequence ('-' before '0' before '+'). Found by a
// depth-first search that drops a prefix as soon as the squares of its
// settled outputs pass maxD2: they only grow as the event goes on.
std::vector<ErrorEvent> FindErrorEvents(int maxD2, int maxLen);

// The event written with '+', '-' and '0', e.g. "+-+".
std::string EventText(const ErrorEvent& ev);

// The Gaussian tail P(N(0,1) > x).
double QFunction(double x);

// The slicer's raw-bit error rate on random data with Gaussian noise of
// deviation sigma (level units), exact over the levels' distribution.
double SlicerBer(double sigma);

// The union bound on the Viterbi detector's raw-bit error rate, summed over
// the given sign-normalised events.
double UnionBound(const std::vector<ErrorEvent>& events, double sigma);

// The events the lab sums the union bound over: d2 <= kBoundMaxD2 and length
// <= kBoundMaxLen, about 4000 events, found in milliseconds. While the bound
// is below 3e-3 (sigma <= 0.6) events further out add less than 1% to it;
// beyond that the union bound grows without limit as events are added and
// says little anyway. The search grows quickly with maxD2 (d2 <= 64 gives
// about 10^5 events, d2 <= 80 half a million), so callers cap what they ask.
inline constexpr int kBoundMaxD2 = 40;
inline constexpr int kBoundMaxLen = 20;
std::vector<ErrorEvent> UnionBoundEvents();

} // namespace channel
