#pragma once
// Error rates that follow from a target alone: the slicer's, exactly, and
// the union bound on the maximum-likelihood detector's.
#include <vector>

#include "channel/events.h"
#include "channel/target.h"

namespace channel {

// SNR = 10 log10(energy / sigma^2) in dB, the energy being that of one bit's
// response (the target's sum of squares on the ideal channel): +inf for
// sigma 0. And the deviation of an SNR.
double SnrDb(double energy, double sigma);
double SigmaOfSnr(double energy, double db);

// The Gaussian tail P(N(0,1) > x).
double QFunction(double x);

// The slicer's raw-bit error rate on random data with Gaussian noise of
// deviation sigma (level units), exact over the levels' distribution. The
// target must have a slicer.
double SlicerBer(const Target& target, double sigma);

// The union bound on the Viterbi detector's raw-bit error rate, summed over
// the given sign-normalised events.
double UnionBound(const std::vector<ErrorEvent>& events, double sigma);

// The same when the noise at the detector is coloured, with autocorrelation
// r(l), l = 0 ... size - 1 (0 beyond), and the detector blind to the colour:
// an event's output difference eps = f * e moves the metric by d2 = Sum eps^2,
// the noise along it has variance v = Sum_ij eps_i eps_j r(i - j), and the
// wrong path wins with probability Q(d2 / (2 sqrt(v))). With r = (sigma^2)
// it is the bound above.
double UnionBound(const std::vector<ErrorEvent>& events, const Target& target,
                  const std::vector<double>& correlation);

} // namespace channel
