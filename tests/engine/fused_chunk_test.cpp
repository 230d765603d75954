// The fused chain against the chain of stages: the same counts, chunk by
// chunk, and where it does not apply.
#include "engine/fused_chunk.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Noise = engine::ChainSettings::Noise;

void ExpectSame(const engine::PointCounts& got, const engine::PointCounts& want,
                const std::string& what) {
    ASSERT_EQ(got.detectors.size(), want.detectors.size()) << what;
    EXPECT_EQ(got.bits, want.bits) << what;
    for (std::size_t d = 0; d < want.detectors.size(); ++d) {
        EXPECT_EQ(got.detectors[d].bits, want.detectors[d].bits) << what << " detector " << d;
        EXPECT_EQ(got.detectors[d].bitErrors, want.detectors[d].bitErrors) << what << " " << d;
        EXPECT_EQ(got.detectors[d].frames, want.detectors[d].frames) << what << " " << d;
        EXPECT_EQ(got.detectors[d].frameErrors, want.detectors[d].frameErrors) << what << " " << d;
    }
}

TEST(FusedChunk, CountsAsTheChainOfStagesForEveryStreamTargetAndTail) {
    struct Case {
        const char* target;
        int adcBits, frame;
        bool tail;
        Noise noise;
        double sigma;
        int frames; // a chunk's: a short last batch of the Viterbi detector's eight
    };
    const Case cases[] = {
        {"e3pr4", 6, 4096, true, Noise::kLanes16, 0.5, 16},
        {"e3pr4", 6, 4096, true, Noise::kLanes, 0.5, 11},
        {"e3pr4", 6, 4096, true, Noise::kSerial, 0.6, 9},
        {"e3pr4", 6, 1000, false, Noise::kLanes16, 0.45, 13},
        {"e3pr4", 4, 37, true, Noise::kLanes16, 0.7, 40},
        {"e3pr4", 10, 64, true, Noise::kSerial, 0.7, 64}, // float metrics
        {"epr4", 8, 777, true, Noise::kLanes16, 0.5, 10},
        {"pr4", 5, 129, false, Noise::kLanes, 0.5, 17},
        {"1,2,1", 7, 4096, true, Noise::kLanes16, 0.3, 8},
        // 64 states and levels to 38: the integer detector's wide passes.
        {"1,3,5,7,9,7,6", 8, 300, true, Noise::kLanes16, 2.0, 5},
    };
    for (const Case& c : cases) {
        engine::BerSettings settings;
        settings.frame = c.frame;
        settings.seed = 7;
        engine::BerSetup setup;
        ASSERT_EQ(channel::Target::Parse(c.target, setup.chain.target), "") << c.target;
        setup.chain.adcBits = c.adcBits;
        setup.chain.tail = c.tail;
        setup.chain.noise = c.noise;
        const engine::ChannelDesign design = engine::DesignChannel(setup.chain, c.sigma);
        ASSERT_TRUE(engine::FusedChunk::Applies(setup, design)) << c.target;
        engine::FusedChunk fast(settings, setup, design), plain(settings, setup, design, false);
        for (std::uint64_t chunk : {0, 5}) {
            const std::string what = std::string(c.target) + " frame " + std::to_string(c.frame) +
                                     " chunk " + std::to_string(chunk);
            const engine::PointCounts want =
                engine::RunChunk(settings, setup, design, 2, chunk, c.frames);
            EXPECT_GT(want.detectors.back().bitErrors, 0u) << what;
            ExpectSame(fast.Run(2, chunk, c.frames), want, what);
            ExpectSame(plain.Run(2, chunk, c.frames), want, what + " plain");
        }
    }
}

TEST(FusedChunk, AppliesOnlyToTheIdealChannelBehindAConverter) {
    struct Case {
        const char* target;
        int adcBits;
        std::optional<channel::HeadKind> head;
        std::vector<detectors::Kind> kinds;
        bool applies;
    };
    using detectors::Kind;
    const Case cases[] = {
        {"e3pr4", 6, std::nullopt, {}, true},
        {"e3pr4", 6, std::nullopt, {Kind::kViterbi}, true},
        {"e3pr4", 0, std::nullopt, {}, false},
        {"e3pr4", 6, channel::HeadKind::kLorentz, {}, false},
        {"e3pr4", 6, std::nullopt, {Kind::kViterbi, Kind::kNpml}, false},
        {"1,0.8,-0.3", 0, std::nullopt, {}, false},
        {"70,60,7", 8, std::nullopt, {Kind::kViterbi}, false}, // levels past a byte
    };
    for (const Case& c : cases) {
        engine::BerSetup setup;
        ASSERT_EQ(channel::Target::Parse(c.target, setup.chain.target), "") << c.target;
        setup.chain.adcBits = c.adcBits;
        setup.chain.head = c.head;
        setup.detectors = c.kinds;
        const engine::ChannelDesign design = engine::DesignChannel(setup.chain, 0.5);
        EXPECT_EQ(engine::FusedChunk::Applies(setup, design), c.applies) << c.target;
    }
}

} // namespace
