#pragma once
// The words the front ends share about a channel and its noise, so that the
// command line's outputs, the lab window's titles and the Python module say
// the same thing.
#include <string>

#include "engine/chain.h"
#include "engine/eye_diagram.h"

namespace choices {

// A number in a printf format ("%g", "%.4g"): how every output spells one.
std::string Number(const char* format, double v);
// "lorentz head, density 2, jitter 0.05, 15 taps" or "ideal channel", for
// output headers.
std::string ChannelText(const engine::ChainSettings& chain);
// What an eye shows: the target on the ideal channel, "lorentz head, density
// 2.5, jitter 0.05" on a head (its readback is drawn before the equalizer,
// so the taps are not in it).
std::string EyeSubject(const engine::ChainSettings& chain);
// The same at `point`: an equalized head's eye adds "equalized to e3pr4 (15
// taps)".
std::string EyeSubject(const engine::ChainSettings& chain, engine::EyePoint point);
// "sigma 0.1 (SNR 21.5 dB)", or "no noise" at sigma 0.
std::string NoiseText(const engine::ChainSettings& chain, double sigma);

// What the soft detectors assume of the noise at their input: "the soft
// detectors take the noise's variance as 0.25", on a head the equalized
// noise's and the predictor's error variance.
std::string SoftNoiseText(double noiseVariance, double predictionVariance, bool head);

} // namespace choices
