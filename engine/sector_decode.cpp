#include "engine/sector_decode.h"

#include <algorithm>

#include "codes/fixed.h"

namespace engine {

namespace {

codes::Arithmetic ArithmeticOf(Messages m) {
    return m == Messages::kInt8    ? codes::Arithmetic::kInt8
           : m == Messages::kInt16 ? codes::Arithmetic::kInt16
                                   : codes::Arithmetic::kFloat;
}

} // namespace

SectorDecoder::SectorDecoder(const codes::Code& code, const codes::DecoderOptions& options,
                             Messages messages)
    : code_(&code), options_(options) {
    frame_.decoder = options;
    frame_.arithmetic = ArithmeticOf(messages);
    if (messages != Messages::kPlain && options.algorithm != codes::Algorithm::kSumProduct) {
        fast_ = std::make_unique<codes::FrameDecoder>(code, frame_);
        integer_ = frame_.arithmetic != codes::Arithmetic::kFloat;
        constants_ = codes::ConstantsOf(codes::Resolved(frame_), code);
    }
}

void SectorDecoder::Extrinsic(int n, const float* input, const float* posterior, float* out) const {
    if (!integer_) {
        for (int k = 0; k < n; ++k) out[k] = posterior[k] - codes::CleanRatio(input[k]);
        return;
    }
    for (int k = 0; k < n; ++k)
        out[k] = posterior[k] -
                 static_cast<float>(codes::Quantize(input[k], constants_)) / constants_.scale;
}

void SectorDecoder::Decode(int count, const float* const* ratios, std::uint8_t* const* bits,
                           float* const* posterior, codes::FrameResult* results) {
    if (!fast_) {
        for (int f = 0; f < count; ++f)
            results[f] = codes::Decode(*code_, options_, ratios[f], bits[f], posterior[f]);
        return;
    }
    const int lanes = fast_->Lanes();
    for (int first = 0; first < count; first += lanes)
        fast_->Decode(std::min(lanes, count - first), ratios + first, bits + first,
                      posterior + first, results + first);
}

codes::FrameResult SectorDecoder::DecodeFor(int iterations, const float* ratios,
                                            std::uint8_t* bits) const {
    if (!fast_) {
        codes::DecoderOptions o = options_;
        o.maxIterations = iterations;
        o.earlyStop = false;
        return codes::Decode(*code_, o, ratios, bits, nullptr);
    }
    codes::FrameOptions o = frame_;
    o.decoder.maxIterations = iterations;
    o.decoder.earlyStop = false;
    return codes::DecodeFixed(*code_, o, ratios, bits, nullptr);
}

} // namespace engine
