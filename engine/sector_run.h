#pragma once
// Sectors through an iterative read channel, and through the classical one
// beside it at the same user bits and about the same rate.
//
// The iterative channel: user bits -> the LDPC code's systematic encoder ->
// (the target's precoder, when asked for) -> the channel -> a soft detector
// <-> the decoder, `global` rounds that hand each other's extrinsic ratios
// back and forth (the decoder runs `decoder.maxIterations` local iterations
// a round, and the rounds stop once its syndrome is zero). A sector fails when
// the decoder ends with a nonzero syndrome; a zero syndrome with wrong user
// bits is an undetected error. Both are sector errors.
//
// The classical channel: the same user bits with a Reed-Solomon code over
// GF(2^10) correcting t symbols a word (codes/reed_solomon.h), the target's
// precoder, the same channel, and the hard detector (Viterbi on the ideal
// channel, npml on a head); a sector is lost when a word has more than t
// wrong symbols. The recorded bits other than the user's are drawn at random
// like them: a bounded-distance decoder's failure depends only on which
// symbols are wrong, not on the parity's values.
//
// Both meet the same medium at the same user density. On a head the coded
// bits are written at the channel density D_u / R, and the noise's spectral
// density is held: the noise per channel sample is sigma_u^2 / R, sigma_u the
// uncoded channel's at the user density, whose SNR (the head's E_i at D_u over
// sigma_u^2) the point is quoted at. On the ideal channel the samples are the
// target's at the channel rate and the SNR is the channel's own (sigma per
// channel sample); Eb/N0 per user bit tells the rate's price there.
//
// The sectors of a few chunks go through the detector and the decoder side by
// side (the decoder's lanes, the soft detectors' eight), each sector getting
// what it would get alone: the rounds stop for each at its own zero syndrome.
//
// With the timing modelled both channels write a preamble before each
// sector and read it through the clock and the loop (engine/timing.h), as
// ber reads its frames; a sector whose loop slipped a cycle is counted apart.
//
// Chunk c of a point draws the iterative channel's bits and noise from
// (seed, ChunkStream(2 i, c)) and the classical one's from ChunkStream(2 i +
// 1, c); chunks are added in chunk order and a point ends after the first
// chunk with `sectors` sectors or `failures` sector errors of the iterative
// channel, so the counts do not depend on the thread count.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "codes/code.h"
#include "codes/decoder.h"
#include "codes/reed_solomon.h"
#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/sector_decode.h"

namespace engine {

struct SectorSettings {
    ChainSettings chain; // at the user density; its precoder field is set below
    std::shared_ptr<const codes::Code> code;
    codes::DecoderOptions decoder;
    // The decoder's arithmetic (engine/sector_decode.h): int16, whose sector
    // failure rate is the float decoder's (int8 fails measurably more often
    // in the waterfall, its ratios clipped at 7.75), at int8's speed here.
    Messages messages = Messages::kInt16;
    int global = 3;
    detectors::Kind detector = detectors::Kind::kViterbi; // must be a soft row
    bool precoder = false; // the iterative channel's; the classical one has it
    int rsT = -1;          // -1: the t whose rate is nearest the LDPC code's
    std::uint64_t sectors = 1000;
    std::uint64_t failures = 100;
    std::uint64_t seed = 1;
    int threads = 1;
};

struct SectorCounts {
    std::uint64_t sectors = 0;
    std::uint64_t failed = 0;                  // nonzero syndrome at the end
    std::uint64_t undetected = 0;              // zero syndrome, wrong user bits
    std::uint64_t userBits = 0, bitErrors = 0; // user bits after the decoder
    std::uint64_t rawBits = 0, rawErrors = 0;  // the detector's first decisions
    std::uint64_t iterations = 0;              // local iterations, all rounds
    std::uint64_t rounds = 0;                  // global rounds run
    std::uint64_t rsFailed = 0;                // classical sectors lost
    // With the timing modelled (chain.timing.on): the sectors whose clock
    // slipped (each counted as well as failed, undetected or right, as its
    // decoder ended), and the timing error over the others' data.
    std::uint64_t slipped = 0, rsSlipped = 0; // iterative, classical
    double phaseSquares = 0;                  // iterative channel's sectors
    std::uint64_t phaseSamples = 0;
    void Add(const SectorCounts& o);
    std::uint64_t Errors() const { return failed + undetected; }
    double RmsPhase() const;
};

// The classical channel's hard detector: Viterbi on the ideal channel, npml
// on a head, the slicer on a target of memory 0.
detectors::Kind ClassicalKind(const ChainSettings& chain);

// What a point's channels are, once its noise is known.
struct SectorGeometry {
    double snrDb = 0;
    double sigmaUser = 0; // sigma_u, the uncoded channel's at the user density
    double rate = 0, rsRate = 0;
    int rsT = 0;
    codes::RsLayout rs;
    ChainSettings coded, classical;            // their densities and precoders
    double sigmaCoded = 0, sigmaClassical = 0; // per channel sample
    double ebN0Db = 0;                         // per user bit, iterative channel
};
SectorGeometry GeometryOf(const SectorSettings& settings, double snrDb);

// Why the settings cannot run, or empty: the detector must be soft and apply
// at the coded channel, the code must have user bits.
std::string SectorWhyNot(const SectorSettings& settings);

// Runs one point; false when stopped (the counts so far in `counts`).
// `report` gets the counts a few times a second on the calling thread.
bool RunSectorPoint(const SectorSettings& settings, const SectorGeometry& geometry, int point,
                    const std::atomic<bool>& stop, SectorCounts& counts,
                    const std::function<void(const SectorCounts&)>& report = {});

// One sector of the iterative channel, for a window that shows it converge:
// the wrong user bits after each local iteration of each round.
struct SectorTrace {
    std::vector<std::vector<int>> wrong; // [round][iteration 0 (the input) ... local]
    bool syndromeZero = false;
};
SectorTrace TraceSector(const SectorSettings& settings, const SectorGeometry& geometry,
                        std::uint64_t sector);

// One sector of the iterative channel on given samples (Python's arrays):
// the coded channel's frame of SectorSampleCount samples (n, plus the
// target's memory with a tail), through the soft detector and the decoder
// as RunSectorPoint runs them: the decoded bits, the decoder's last
// posterior ratios, whether the syndrome is zero, the local iterations over
// all rounds and the rounds.
struct SectorDecoded {
    std::vector<std::uint8_t> bits;
    std::vector<float> posterior;
    bool syndromeZero = false;
    int iterations = 0, rounds = 0;
};
int SectorSampleCount(const SectorSettings& settings, const SectorGeometry& geometry);
SectorDecoded DecodeSector(const SectorSettings& settings, const SectorGeometry& geometry,
                           const float* samples);

// Sector `sector` of point `point` as RunSectorPoint draws it: its user
// bits, its code word and the detector's samples.
struct SectorSamples {
    std::vector<std::uint8_t> user, codeword;
    std::vector<float> samples;
};
SectorSamples DrawSector(const SectorSettings& settings, const SectorGeometry& geometry, int point,
                         std::uint64_t sector);

} // namespace engine
