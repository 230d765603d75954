#pragma once
// The readback waveform. The pulse response of the E3PR4 target is the target
// interpolated with sin(x)/x terms,
//     h(tau) = sum over m = 0 ... 5 of kTarget[m] * sinc(pi * (tau - m)),
// tau in bit periods. pulseTab holds it at 10 points per bit period; a run's
// waveform is one shifted copy of it per precoded 1-bit, one value per plot
// column. Every stored value is single precision and the rounding points are
// fixed, because plot rows depend on the last bits.
#include "channel/coding.h"

namespace channel {

inline constexpr int kPointsPerBit = 10;
inline constexpr int kPulseLen = 1200;
// Index of tau = 0: the table runs from 60 bit periods before the origin to
// 59.9 after it.
inline constexpr int kPulseOrigin = 600;
inline constexpr int kColumns = 600;
// Column of bit 0's pulse origin; bit k's is this plus 10k.
inline constexpr int kFirstSampleColumn = 100;

// Pi as the double-precision constant the sinc arguments are built from.
inline constexpr double kPi = 3.141592653589793;

using PulseTable = float[kPulseLen];
using Wave = float[kColumns];

// Program-wide: pulseTab is built once at window creation and only read
// after; waveBuf is rebuilt by every run.
extern float pulseTab[kPulseLen];
extern float waveBuf[kColumns];

// Entry i is h((i - kPulseOrigin) / kPointsPerBit).
void BuildPulseTable(PulseTable& table);
// The same for any target c_0 ... c_{count-1} in place of E3PR4's, by the same
// steps and roundings (on E3PR4 the same table, bit for bit).
void BuildPulseTable(const double* coefficients, int count, PulseTable& table);
void BuildPulseTable(); // into pulseTab

// Adds up, in ascending k, the pulse of every bit k with prec[k] == 1, its
// origin at column kFirstSampleColumn + 10k. `table` must be built.
void SynthesizeWave(const Sequence& prec, const PulseTable& table, Wave& wave);
void SynthesizeWave(); // from precData and pulseTab into waveBuf

// A waveform of any block, or of any sequence of weights: column j = 0 ...
// count - 1 is the time (first + j) / 10 bit periods after bit 0's sampling
// instant, and holds the sum over k of weight[k] times the pulse of bit k,
// taken in ascending k from 0, every sum rounded to single precision, the
// zero weights left out. Pulses reach 60 bit periods either way, as the
// table does. With 0/1 weights of a 40-bit block, first = -100 and count =
// 600 this is SynthesizeWave, bit for bit; with a table built for the single
// coefficient 1 it is the sinc interpolation of the weights.
void SynthesizeWave(const float* weight, int n, const PulseTable& table, int first, int count,
                    float* wave);

} // namespace channel
