#include "snapshot/snapshot_data.h"

#include "channel/coding.h"

#include <cstring>

namespace snapshot {

namespace {

// Longest row: five 11-byte fields, k, six separators; and the slack the
// fixed-size copies below may write past the row's end.
constexpr std::size_t kMaxRowBytes = 5 * 11 + 2 + 6 + 16;

// One field and the separator after it. Bits and samples are one digit with
// at most a sign: those take the short way.
char* Field(char* out, std::int32_t value, char separator) {
    if (static_cast<std::uint32_t>(value) < 10) {
        out[0] = static_cast<char>('0' + value);
        out[1] = separator;
        return out + 2;
    }
    if (0u - static_cast<std::uint32_t>(value) < 10) {
        out[0] = '-';
        out[1] = static_cast<char>('0' - value);
        out[2] = separator;
        return out + 3;
    }
    out = FormatInt(out, value);
    *out = separator;
    return out + 1;
}

} // namespace

char* FormatInt(char* out, std::int32_t value) {
    // Unsigned arithmetic, so the most negative value needs no special case.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    if (magnitude < 10) { // every bit and every sample
        *out++ = static_cast<char>('0' + magnitude);
        return out;
    }
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

void DataWriter::Header() {
    Reserve(sizeof kDataHeader);
    std::memcpy(buffer_ + used_, kDataHeader, sizeof kDataHeader - 1);
    used_ += sizeof kDataHeader - 1;
}

void DataWriter::Run(std::int32_t run) {
    // "run,k," leads every row: the run is set once, k comes from a table,
    // and both are copied at a fixed size (the slack covers the excess).
    static constexpr char kIndex[channel::kBits][4] = {
        "0,",  "1,",  "2,",  "3,",  "4,",  "5,",  "6,",  "7,",  "8,",  "9,",
        "10,", "11,", "12,", "13,", "14,", "15,", "16,", "17,", "18,", "19,",
        "20,", "21,", "22,", "23,", "24,", "25,", "26,", "27,", "28,", "29,",
        "30,", "31,", "32,", "33,", "34,", "35,", "36,", "37,", "38,", "39,"};
    char prefix[16] = {};
    const auto prefixLen = static_cast<std::size_t>(Field(prefix, run, ',') - prefix);
    Reserve(channel::kBits * kMaxRowBytes);
    char* p = buffer_ + used_;
    for (int k = 0; k < channel::kBits; ++k) {
        std::memcpy(p, prefix, sizeof prefix);
        p += prefixLen;
        std::memcpy(p, kIndex[k], 4);
        p += k < 10 ? 2 : 3;
        p = Field(p, channel::rawData[k], ',');
        p = Field(p, channel::precData[k], ',');
        p = Field(p, channel::nrziData[k], ',');
        p = Field(p, channel::sampData[k], '\n');
    }
    used_ = static_cast<std::size_t>(p - buffer_);
}

void DataWriter::Reserve(std::size_t bytes) {
    if (used_ + bytes > kBufferBytes) Flush();
}

bool DataWriter::Flush() {
    if (used_ > 0 && std::fwrite(buffer_, 1, used_, out_) != used_) failed_ = true;
    used_ = 0;
    return !failed_;
}

} // namespace snapshot
