#include "choices/codes.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include "choices/values.h"
#include "codes/alist.h"
#include "codes/builtin.h"

namespace choices {

namespace {

struct DecoderRow {
    codes::Algorithm algorithm;
    const char* name;
};
const DecoderRow kDecoders[] = {{codes::Algorithm::kNormalizedMinSum, "nms"},
                                {codes::Algorithm::kOffsetMinSum, "oms"},
                                {codes::Algorithm::kSumProduct, "sp"}};

struct MessagesRow {
    engine::Messages messages;
    const char* name;
};
const MessagesRow kMessages[] = {{engine::Messages::kInt8, "int8"},
                                 {engine::Messages::kInt16, "int16"},
                                 {engine::Messages::kFloat, "float"},
                                 {engine::Messages::kPlain, "plain"}};

} // namespace

std::vector<std::string> CodeNames() {
    std::vector<std::string> names;
    for (const codes::BuiltinCode& code : codes::BuiltinCodes()) names.push_back(code.name);
    return names;
}

std::string ChooseCode(const std::string& text, codes::Code& code) {
    if (std::optional<codes::Code> builtin = codes::Builtin(text)) {
        code = *builtin;
        return {};
    }
    std::ifstream file(text, std::ios::binary);
    if (!file) {
        std::string names;
        for (const std::string& name : CodeNames()) names += (names.empty() ? "" : ", ") + name;
        return "'" + text + "' is no built-in code (" + names +
               ") and cannot be read: " + std::strerror(errno);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) return "cannot read '" + text + "'";
    std::string error;
    std::optional<codes::Code> read = codes::ReadAlist(content.str(), &error);
    if (!read) return text + ": " + error;
    code = *read;
    code.name = text;
    return {};
}

std::vector<std::string> DecoderNames() {
    std::vector<std::string> names;
    for (const DecoderRow& row : kDecoders) names.push_back(row.name);
    return names;
}

const char* DecoderName(codes::Algorithm algorithm) {
    for (const DecoderRow& row : kDecoders)
        if (row.algorithm == algorithm) return row.name;
    return "?";
}

std::string ParseDecoder(const std::string& text, codes::Algorithm& algorithm) {
    std::string name;
    if (std::string error = ParseName(text, DecoderNames(), name); !error.empty()) return error;
    for (const DecoderRow& row : kDecoders)
        if (name == row.name) algorithm = row.algorithm;
    return {};
}

std::vector<std::string> MessagesNames() {
    std::vector<std::string> names;
    for (const MessagesRow& row : kMessages) names.push_back(row.name);
    return names;
}

const char* MessagesName(engine::Messages messages) {
    for (const MessagesRow& row : kMessages)
        if (row.messages == messages) return row.name;
    return "?";
}

std::string ParseMessages(const std::string& text, engine::Messages& messages) {
    std::string name;
    if (std::string error = ParseName(text, MessagesNames(), name); !error.empty()) return error;
    for (const MessagesRow& row : kMessages)
        if (name == row.name) messages = row.messages;
    return {};
}

std::string CheckMessages(codes::Algorithm algorithm, engine::Messages messages) {
    if (algorithm == codes::Algorithm::kSumProduct && messages != engine::Messages::kPlain)
        return std::string("sp (flooding sum-product) has only the plain float decoder, not ") +
               MessagesName(messages) + " messages";
    return {};
}

std::string CheckNormalization(double value, const std::string& shown) {
    if (!std::isfinite(value) || value <= 0 || value > 1)
        return Quoted(shown) + " is not a normalization in (0, 1]";
    return {};
}

std::string CheckOffset(double value, const std::string& shown) {
    if (!std::isfinite(value) || value < 0 || value >= codes::kMaxRatio)
        return Quoted(shown) + " is not an offset in 0 ... " +
               std::to_string(static_cast<int>(codes::kMaxRatio));
    return {};
}

std::string CheckLocal(double value, const std::string& shown) {
    return CheckCount(value, 1, codes::kMaxIterations, shown);
}

Refusal SectorChoice(const ChannelChoice& channel, const std::string& text,
                     engine::SectorSettings& s) {
    if (Refusal r = CheckChannel(channel); !r.line.empty()) return r;
    if (channel.targets.size() != 1) return {"--target", "takes one target here"};
    if (channel.targets.front().gpr > 0)
        return {"--target", "sectors run on a fixed target, not gprL"};
    if (channel.targets.front().target.Memory() == 0 && channel.chain.Recording())
        return {"--target", "a target of memory 0 (binary input on white noise) runs on the ideal "
                            "channel, not behind a head"};
    if (channel.detectors.size() > 1) return {"--detector", "takes one detector here"};
    if (!channel.detectors.empty()) {
        s.detector = channel.detectors.front();
    } else if (const detectors::Row* row = detectors::Find(kDefaultSectorDetector)) {
        s.detector = row->kind;
    } else {
        return {"--detector", "this build has no soft detector"};
    }
    codes::Code code;
    if (std::string e = ChooseCode(text, code); !e.empty()) return {"--code", e};
    if (code.n < 1 || code.n > static_cast<int>(kMaxFrame))
        return {"--code", "a code of " + std::to_string(code.n) + " bits is longer than a frame"};
    s.code = std::make_shared<const codes::Code>(std::move(code));
    s.chain = ChainFor(channel, 0);
    if (std::string e = engine::SectorWhyNot(s); !e.empty()) return {"--detector", e};
    return {};
}

} // namespace choices
