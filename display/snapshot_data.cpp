#include "display/snapshot_data.h"

#include "channel/coding.h"

#include <cstring>

namespace display {

namespace {

// Longest row: four 11-byte fields, k, and six separators.
constexpr std::size_t kMaxRowBytes = 6 * 11 + 6;

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
    // The run number leads every row of the run: set it once, copy it forty times.
    char prefix[12];
    const auto prefixLen = static_cast<std::size_t>(FormatInt(prefix, run) - prefix);
    prefix[prefixLen] = ',';
    Reserve(channel::kBits * kMaxRowBytes);
    char* p = buffer_ + used_;
    for (int k = 0; k < channel::kBits; ++k) {
        std::memcpy(p, prefix, prefixLen + 1);
        p += prefixLen + 1;
        p = FormatInt(p, k);
        *p++ = ',';
        p = FormatInt(p, channel::rawData[k]);
        *p++ = ',';
        p = FormatInt(p, channel::precData[k]);
        *p++ = ',';
        p = FormatInt(p, channel::nrziData[k]);
        *p++ = ',';
        p = FormatInt(p, channel::sampData[k]);
        *p++ = '\n';
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

} // namespace display
