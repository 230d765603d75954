#pragma once
// Error events under a constraint code: only the differences e = p - p' of
// two precoder sequences that both obey the constraint (channel/constraint.h,
// coded bits c_k = p_k xor p_{k-1}). Everything else is as for the
// unconstrained list (channel/events.h): sign-normalised, the same order,
// distances and raw-bit errors (the target's precoder, NRZI here).
//
// The search carries, with each prefix of e, every pair of sequences that can
// make it: the last maxOnes + 2 bits of p (p' follows from p and e) and the
// position in the code word. A prefix no pair makes is dropped; an event
// closes only where both sequences can go on within the constraint.
#include <vector>

#include "channel/constraint.h"
#include "channel/events.h"
#include "channel/target.h"

namespace channel {

std::vector<ErrorEvent> FindConstrainedEvents(const Target& target, const ConstraintRow& row,
                                              double maxD2, int maxLen);
// The smallest d2 of an allowed event of at most maxLen bits.
double ConstrainedMinimumDistance(const Target& target, const ConstraintRow& row, int maxLen);
// The union bound's events (d2 up to kBoundReach times the constrained
// d2min, length up to kBoundMaxLen).
std::vector<ErrorEvent> ConstrainedBoundEvents(const Target& target, const ConstraintRow& row);

} // namespace channel
