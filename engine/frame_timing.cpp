#include "engine/frame_timing.h"

#include "engine/error_rate.h"

namespace engine {

namespace {

// The chain's frame of `bits` bits through the clock and the loop: random
// bits from the chunk stream, or `raw` when given.
FrameTiming Track(ChainSettings chain, double sigma, int bits, const std::vector<std::uint8_t>* raw,
                  std::uint64_t seed) {
    chain.timing.on = true;
    const ChannelDesign design = DesignChannel(chain, sigma);
    Chain run(design, bits);
    Frame frame = run.MakeFrame();
    channel::NoiseSource source(seed, ChunkStream(0, 0));
    if (raw != nullptr) {
        frame.raw = *raw;
        run.Transmit(source, frame);
    } else {
        run.Next(source, frame);
    }
    FrameTiming out;
    out.design = design.timing;
    out.track = std::move(frame.timing);
    out.lock = LockTime(out.track, out.track.trackFrom, kLockTolerance);
    out.received = frame.received;
    const TimingScratch& read = *run.LastRead();
    const int from = design.timing->DataStart() - read.first;
    out.readback.assign(read.x.begin() + from, read.x.begin() + from + run.Shape().Samples());
    return out;
}

} // namespace

FrameTiming TrackFrame(ChainSettings chain, double sigma, int bits, std::uint64_t seed) {
    return Track(std::move(chain), sigma, bits, nullptr, seed);
}

FrameTiming TrackBits(ChainSettings chain, double sigma, const std::vector<std::uint8_t>& raw,
                      std::uint64_t seed) {
    return Track(std::move(chain), sigma, static_cast<int>(raw.size()), &raw, seed);
}

} // namespace engine
