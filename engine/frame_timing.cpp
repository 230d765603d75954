#include "engine/frame_timing.h"

#include "engine/error_rate.h"

namespace engine {

FrameTiming TrackFrame(ChainSettings chain, double sigma, int bits, std::uint64_t seed) {
    chain.timing.on = true;
    const ChannelDesign design = DesignChannel(chain, sigma);
    Chain run(design, bits);
    Frame frame = run.MakeFrame();
    channel::NoiseSource source(seed, ChunkStream(0, 0));
    run.Next(source, frame);
    FrameTiming out;
    out.design = design.timing;
    out.track = std::move(frame.timing);
    out.lock = LockTime(out.track, out.track.trackFrom, kLockTolerance);
    return out;
}

FrameTiming TrackBits(ChainSettings chain, double sigma, const std::vector<std::uint8_t>& raw,
                      std::uint64_t seed) {
    chain.timing.on = true;
    const ChannelDesign design = DesignChannel(chain, sigma);
    Chain run(design, static_cast<int>(raw.size()));
    Frame frame = run.MakeFrame();
    frame.raw = raw;
    channel::NoiseSource source(seed, ChunkStream(0, 0));
    run.Transmit(source, frame);
    FrameTiming out;
    out.design = design.timing;
    out.track = std::move(frame.timing);
    out.lock = LockTime(out.track, out.track.trackFrom, kLockTolerance);
    return out;
}

} // namespace engine
