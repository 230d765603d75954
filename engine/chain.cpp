#include "engine/chain.h"

#include "detectors/viterbi_int.h"

namespace engine {

Chain::Chain(const ChainSettings& settings, int bits)
    : encoder_(settings.target), shape_{bits, settings.tail ? settings.target.Memory() : 0},
      channel_(std::make_unique<IdealChannel>(encoder_)), noise_(settings.noise) {
    if (settings.adcBits > 0) adc_.emplace(settings.target, settings.adcBits);
}

Frame Chain::MakeFrame() const {
    const std::size_t bits = static_cast<std::size_t>(shape_.bits);
    const std::size_t samples = static_cast<std::size_t>(shape_.Samples());
    return Frame{std::vector<std::uint8_t>(bits), std::vector<std::uint8_t>(bits),
                 std::vector<float>(samples), std::vector<float>(samples)};
}

void Chain::Next(channel::NoiseSource& source, double sigma, Frame& frame) {
    source.RandomBits(frame.raw.data(), shape_.bits);
    Transmit(source, sigma, frame);
}

void Chain::Transmit(channel::NoiseSource& source, double sigma, Frame& frame) {
    encoder_.Precode(frame.raw.data(), shape_.bits, frame.prec.data());
    channel_->Read(frame.prec.data(), shape_, frame.clean.data());
    float* received = frame.received.data();
    if (noise_ == ChainSettings::Noise::kLanes)
        source.AddNoiseLanes(frame.clean.data(), received, shape_.Samples(), sigma);
    else
        source.AddNoise(frame.clean.data(), received, shape_.Samples(), sigma);
    if (adc_) adc_->Quantize(received, received, shape_.Samples());
}

std::vector<std::unique_ptr<detectors::Detector>>
MakeDetectors(const std::vector<detectors::Kind>& kinds, const Chain& chain) {
    std::vector<std::unique_ptr<detectors::Detector>> list;
    for (detectors::Kind kind : kinds) {
        if (kind == detectors::Kind::kViterbi && chain.Converter() != nullptr)
            list.push_back(
                detectors::MakeQuantizedViterbi(chain.target(), chain.Shape(), *chain.Converter()));
        else
            list.push_back(detectors::MakeDetector(kind, chain.target(), chain.Shape()));
    }
    return list;
}

} // namespace engine
