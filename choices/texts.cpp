#include "choices/texts.h"

#include <cstdio>

#include "channel/bounds.h"

namespace choices {
std::string Number(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string ChannelText(const engine::ChainSettings& chain) {
    if (!chain.Recording()) return "ideal channel";
    return chain.ChannelName() + " head, density " + Number("%g", chain.density) + ", jitter " +
           Number("%g", chain.jitter) + ", " + std::to_string(chain.taps) + " taps";
}

std::string EyeSubject(const engine::ChainSettings& chain) {
    if (!chain.Recording()) return chain.TargetName();
    return chain.ChannelName() + " head, density " + Number("%g", chain.density) + ", jitter " +
           Number("%g", chain.jitter);
}

std::string EyeSubject(const engine::ChainSettings& chain, engine::EyePoint point) {
    if (!engine::EqualizedEye(chain, point)) return EyeSubject(chain);
    return EyeSubject(chain) + ", equalized to " + chain.TargetName() + " (" +
           std::to_string(chain.taps) + " taps)";
}

std::string NoiseText(const engine::ChainSettings& chain, double sigma) {
    if (sigma == 0) return "no noise";
    return "sigma " + Number("%.3g", sigma) + " (SNR " +
           Number("%.1f", channel::SnrDb(engine::SignalEnergy(chain), sigma)) + " dB)";
}

std::string SoftNoiseText(double noiseVariance, double predictionVariance, bool head) {
    std::string text =
        "the soft detectors take the noise's variance as " + Number("%.4g", noiseVariance);
    if (head)
        text += " (the equalized noise's), the predictor's error as " +
                Number("%.4g", predictionVariance);
    return text;
}

} // namespace choices
