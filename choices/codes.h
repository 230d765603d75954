#pragma once
// The code choices of coded runs: which LDPC code (a built-in one by name, or
// an alist file), its decoder and the decoder's iterations and constants.
#include <string>
#include <vector>

#include "choices/channel.h"
#include "codes/code.h"
#include "codes/decoder.h"
#include "engine/sector_run.h"

namespace choices {

// The built-in codes' names, in the order `quorvane-lab code` lists them.
std::vector<std::string> CodeNames();

// A built-in code by name, else the alist file of that name. A refusal is one
// line: "'x' is no built-in code (sector512, sector4k) and cannot be read: WHY",
// or "FILE: line L: what is wrong" for a malformed file.
std::string ChooseCode(const std::string& text, codes::Code& code);

// --decoder nms|oms|sp.
std::vector<std::string> DecoderNames();
const char* DecoderName(codes::Algorithm algorithm);
std::string ParseDecoder(const std::string& text, codes::Algorithm& algorithm);

// --messages int8|int16|float|plain: the sector runs' decoder, the fast
// frame decoder in that arithmetic (int16 the default, engine/sector_run.h
// says why) or the plain float one, the oracle; sum-product has only
// the plain one (CheckMessages refuses another when asked for by name).
std::vector<std::string> MessagesNames();
const char* MessagesName(engine::Messages messages);
std::string ParseMessages(const std::string& text, engine::Messages& messages);
std::string CheckMessages(codes::Algorithm algorithm, engine::Messages messages);

// The decoder's constants: the normalization within (0, 1], the offset >= 0
// and below the largest ratio, and the local iterations 1 ... kMaxIterations.
std::string CheckNormalization(double value, const std::string& shown);
std::string CheckOffset(double value, const std::string& shown);
std::string CheckLocal(double value, const std::string& shown);

// Sector runs (quorvane-lab sfr, Python's sfr): the channel's one fixed
// target, its one soft detector (by default maxlog), the code chosen by `code`
// into settings (its chain and detector too). The option refused and its
// line, or an empty line.
Refusal SectorChoice(const ChannelChoice& channel, const std::string& code,
                     engine::SectorSettings& settings);
inline constexpr const char* kDefaultSectorDetector = "maxlog";

} // namespace choices
