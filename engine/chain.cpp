#include "engine/chain.h"

#include <algorithm>
#include <cmath>

namespace engine {

std::string ChainSettings::TargetName() const {
    return gpr > 0 ? "gpr" + std::to_string(gpr) : target.Name();
}

std::string ChainSettings::ChannelName() const {
    return head ? channel::HeadOf(*head).name : "ideal";
}

ChainSettings ChainSettings::Coded() const {
    ChainSettings coded = *this;
    if (Recording()) coded.density = density / CodeRate();
    return coded;
}

double ChainSettings::CodedSigma(double sigmaUser) const {
    return Recording() ? sigmaUser / std::sqrt(CodeRate()) : sigmaUser;
}

double SignalEnergy(const ChainSettings& settings) {
    return settings.Recording() ? settings.MakeHead().BitEnergy() : settings.target.Energy();
}

std::vector<double> ChannelDesign::DetectorNoise() const {
    return settings.Recording() ? equalizer.errorCorrelation : std::vector<double>{sigma * sigma};
}

namespace {

void AddTiming(ChannelDesign& d) {
    if (!d.settings.timing.on) return;
    d.timing = std::make_shared<const TimingDesign>(
        DesignTiming(d.settings.timing, d.target, d.readback, d.equalizer, d.DetectorNoise()));
}

} // namespace

ChannelDesign DesignChannel(const ChainSettings& settings, double sigma) {
    ChannelDesign d;
    d.settings = settings;
    d.sigma = sigma;
    if (!settings.Recording()) {
        d.target = settings.precoder ? settings.target : settings.target.WithoutPrecoder();
        if (settings.constraint != channel::ConstraintKind::kNone)
            d.target = settings.target.WithNrzi();
        AddTiming(d);
        return d;
    }
    d.readback = std::make_shared<const channel::Readback>(settings.MakeHead(), settings.jitter);
    const channel::InputStatistics statistics = d.readback->Statistics(sigma);
    d.equalizer = settings.gpr > 0
                      ? channel::DesignGeneralizedTarget(statistics, settings.gpr, settings.taps)
                      : channel::DesignEqualizer(statistics, settings.target, settings.taps);
    d.target = settings.precoder ? d.equalizer.target : d.equalizer.target.WithoutPrecoder();
    if (settings.constraint != channel::ConstraintKind::kNone)
        d.target = d.equalizer.target.WithNrzi();
    const std::vector<double> predictor =
        channel::DesignPredictor(d.equalizer.errorCorrelation, settings.predictor);
    for (double p : predictor) d.predictor.push_back(static_cast<float>(p));
    d.predictionVariance = channel::PredictionVariance(d.equalizer.errorCorrelation, predictor);
    AddTiming(d);
    return d;
}

Chain::Chain(const ChannelDesign& design, int bits)
    : design_(design),
      encoder_(design.target), shape_{bits, design.settings.tail ? design.target.Memory() : 0} {
    if (design_.readback) {
        readbackFirst_ = design_.equalizer.FirstInput(0);
        readbackCount_ = design_.equalizer.LastInput(shape_.Samples() - 1) - readbackFirst_ + 1;
    }
    if (design_.settings.adcBits > 0) adc_.emplace(design_.target, design_.settings.adcBits);
}

Frame Chain::MakeFrame() const {
    const std::size_t bits = static_cast<std::size_t>(shape_.bits);
    const std::size_t samples = static_cast<std::size_t>(shape_.Samples());
    Frame f;
    f.raw.resize(bits);
    f.prec.resize(bits);
    f.clean.resize(samples);
    f.received.resize(samples);
    f.readback.resize(static_cast<std::size_t>(readbackCount_));
    f.readbackFirst = readbackFirst_;
    return f;
}

void Chain::NextCoded(const channel::ConstraintCode& code, channel::NoiseSource& source,
                      Frame& frame, std::vector<std::uint8_t>& user) {
    if (code.IsNone()) {
        Next(source, frame);
        return;
    }
    source.RandomBits(user.data(), static_cast<int>(user.size()));
    TransmitCoded(code, user, source, frame);
}

void Chain::TransmitCoded(const channel::ConstraintCode& code,
                          const std::vector<std::uint8_t>& user, channel::NoiseSource& source,
                          Frame& frame) {
    if (code.IsNone())
        std::copy(user.begin(), user.begin() + shape_.bits, frame.raw.begin());
    else
        code.Encode(user.data(), static_cast<int>(user.size()) / code.UserBits(), frame.raw.data());
    Transmit(source, frame);
}

void Chain::Next(channel::NoiseSource& source, Frame& frame) {
    source.RandomBits(frame.raw.data(), shape_.bits);
    Transmit(source, frame);
}

void Chain::NextFrames(channel::NoiseSource& source, Frame* frames, int count) {
    if (!design_.timing) {
        for (int i = 0; i < count; ++i) Next(source, frames[i]);
        return;
    }
    if (timingScratch_.size() < static_cast<std::size_t>(count))
        timingScratch_.resize(static_cast<std::size_t>(count));
    std::vector<TimingScratch*> scratch;
    std::vector<float*> received;
    std::vector<TimingTrack*> tracks;
    for (int i = 0; i < count; ++i) {
        Frame& frame = frames[i];
        source.RandomBits(frame.raw.data(), shape_.bits);
        encoder_.Precode(frame.raw.data(), shape_.bits, frame.prec.data());
        encoder_.Levels(frame.prec.data(), shape_.bits, shape_.tail, frame.clean.data());
        PrepareFrame(*design_.timing, frame.prec.data(), shape_.bits, shape_.Samples(), source,
                     NoiseAdder(source), timingScratch_[static_cast<std::size_t>(i)]);
        scratch.push_back(&timingScratch_[static_cast<std::size_t>(i)]);
        received.push_back(frame.received.data());
        tracks.push_back(&frame.timing);
    }
    RunLoops(*design_.timing, count, scratch.data(), received.data(), tracks.data());
    if (adc_)
        for (int i = 0; i < count; ++i)
            adc_->Quantize(received[static_cast<std::size_t>(i)],
                           received[static_cast<std::size_t>(i)], shape_.Samples());
}

AddNoiseFn Chain::NoiseAdder(channel::NoiseSource& source) const {
    const double sigma = design_.sigma;
    const ChainSettings::Noise noise = design_.settings.noise;
    return [&source, sigma, noise](const float* clean, float* out, int n) {
        if (noise == ChainSettings::Noise::kLanes)
            source.AddNoiseLanes(clean, out, n, sigma);
        else if (noise == ChainSettings::Noise::kLanes16)
            source.AddNoiseLanes16(clean, out, n, sigma);
        else
            source.AddNoise(clean, out, n, sigma);
    };
}

void Chain::Transmit(channel::NoiseSource& source, Frame& frame) {
    encoder_.Precode(frame.raw.data(), shape_.bits, frame.prec.data());
    encoder_.Levels(frame.prec.data(), shape_.bits, shape_.tail, frame.clean.data());
    const AddNoiseFn addNoise = NoiseAdder(source);
    float* received = frame.received.data();
    if (design_.timing) {
        if (timingScratch_.empty()) timingScratch_.resize(1);
        ReceiveFrame(*design_.timing, frame.prec.data(), shape_.bits, shape_.Samples(), source,
                     addNoise, timingScratch_.front(), received, frame.timing);
    } else if (!design_.readback) {
        addNoise(frame.clean.data(), received, shape_.Samples());
    } else {
        float* readback = frame.readback.data();
        design_.readback->Read(frame.prec.data(), shape_.bits, readbackFirst_, readbackCount_,
                               source, scratch_, readback);
        addNoise(readback, readback, readbackCount_);
        channel::Equalize(design_.equalizer, readback, readbackFirst_, shape_.Samples(), received);
    }
    if (adc_) adc_->Quantize(received, received, shape_.Samples());
}

detectors::Where WhereOf(const ChannelDesign& design) {
    return {&design.target, design.settings.TargetName(), design.settings.Recording(),
            design.settings.adcBits};
}

detectors::Setup SetupOf(const ChannelDesign& d, detectors::FrameShape shape,
                         const channel::Adc* converter) {
    detectors::Setup setup;
    setup.target = d.target;
    setup.shape = shape;
    setup.predictor = d.predictor;
    setup.converter = converter;
    setup.noiseVariance = d.DetectorNoise().front();
    setup.predictionVariance = d.settings.Recording() ? d.predictionVariance : d.sigma * d.sigma;
    setup.depth = d.settings.depth;
    setup.constraint = d.settings.constraint;
    return setup;
}

detectors::Setup SetupOf(const Chain& chain) {
    return SetupOf(chain.design(), chain.Shape(), chain.Converter());
}

std::vector<std::unique_ptr<detectors::Detector>>
MakeDetectors(const std::vector<detectors::Kind>& kinds, const Chain& chain) {
    const detectors::Setup setup = SetupOf(chain);
    std::vector<std::unique_ptr<detectors::Detector>> list;
    for (detectors::Kind kind : kinds) list.push_back(detectors::Make(kind, setup));
    return list;
}

} // namespace engine
