#pragma once
// The snapshot tool's data file: one CSV row "run,k,raw,prec,nrzi,samp" per
// bit of every run. A million runs make forty million rows, so the rows are
// set by hand into a large buffer and written in big blocks, not one
// formatted print per field.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace snapshot {

inline constexpr char kDataHeader[] = "run,k,raw,prec,nrzi,samp\n";

// Writes `value` in decimal at `out` and returns the end; at most 11 bytes.
char* FormatInt(char* out, std::int32_t value);

class DataWriter {
  public:
    explicit DataWriter(std::FILE* out) : out_(out) {}
    DataWriter(const DataWriter&) = delete;
    DataWriter& operator=(const DataWriter&) = delete;

    void Header();
    // The rows of the block now in channel's rawData, precData, nrziData and
    // sampData, as run number `run`.
    void Run(std::int32_t run);
    // Hands the rows buffered so far to the stream; false on a write error.
    bool Flush();
    bool Ok() const { return !failed_; }

  private:
    void Reserve(std::size_t bytes);

    static constexpr std::size_t kBufferBytes = 1 << 17;
    std::FILE* out_;
    std::size_t used_ = 0;
    bool failed_ = false;
    char buffer_[kBufferBytes];
};

} // namespace snapshot
