#include "codes/alist.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

namespace codes {
namespace {

// Larger sizes are refused before anything is allocated for them.
constexpr long long kMaxSize = 1 << 24;

// The text's non-blank lines, each as its whole numbers.
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}

    // The next non-blank line's numbers; false at the end of the text or on
    // a word that is not a whole number (then *error is set).
    bool Next(std::vector<long long>& numbers, std::string* error) {
        numbers.clear();
        while (pos_ < text_.size()) {
            const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
            const std::string_view line = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            ++line_;
            std::size_t i = 0;
            while (i < line.size()) {
                if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
                    ++i;
                    continue;
                }
                std::size_t j = i;
                while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
                long long value = 0;
                const char* first = line.data() + i;
                const char* last = line.data() + j;
                const auto [ptr, ec] = std::from_chars(first, last, value);
                if (ec != std::errc() || ptr != last) {
                    *error = Where() + "'" + std::string(line.substr(i, j - i)) +
                             "' is not a whole number";
                    return false;
                }
                numbers.push_back(value);
                i = j;
            }
            if (!numbers.empty()) return true;
        }
        ++line_; // the line that is missing
        return false;
    }
    std::string Where() const { return "line " + std::to_string(line_) + ": "; }
    int Line() const { return line_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 0;
};

std::string Count(long long n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// One column's or row's line: `weight` distinct indices in 1 ... limit, then
// zeros up to `padded` entries (or none). Returns them 0-based in `out`.
bool ReadList(Lines& lines, const std::vector<long long>& nums, const char* what, int index,
              int weight, int padded, long long limit, const char* item, std::vector<int>& out,
              std::string* error) {
    const long long n = static_cast<long long>(nums.size());
    const std::string self = std::string(what) + " " + std::to_string(index + 1);
    if (n != weight && n != padded) {
        *error = lines.Where() + self + " lists " + std::to_string(n) +
                 (n == 1 ? " entry" : " entries") + ", not its weight " + std::to_string(weight) +
                 (padded != weight ? " or " + std::to_string(padded) + " with padding" : "");
        return false;
    }
    out.clear();
    for (long long i = 0; i < n; ++i) {
        const long long v = nums[i];
        if (i >= weight) {
            if (v != 0) {
                *error = lines.Where() + self + " lists " + Count(weight + 1, item) +
                         " where its weight says " + std::to_string(weight);
                return false;
            }
            continue;
        }
        if (v < 1 || v > limit) {
            *error = lines.Where() + self + " lists " + item + " " + std::to_string(v) +
                     ", outside 1 ... " + std::to_string(limit);
            return false;
        }
        out.push_back(static_cast<int>(v - 1));
    }
    std::vector<int> sorted = out;
    std::sort(sorted.begin(), sorted.end());
    const auto dup = std::adjacent_find(sorted.begin(), sorted.end());
    if (dup != sorted.end()) {
        *error =
            lines.Where() + self + " lists " + item + " " + std::to_string(*dup + 1) + " twice";
        return false;
    }
    return true;
}

// A weights line: `count` numbers in 0 ... largest, the largest among them.
bool ReadWeights(Lines& lines, std::vector<long long>& nums, const char* what, long long count,
                 long long largest, std::vector<int>& weights, std::string* error) {
    if (!lines.Next(nums, error)) {
        if (error->empty())
            *error = lines.Where() + "the file ends before the " + what + " weights";
        return false;
    }
    if (static_cast<long long>(nums.size()) != count) {
        *error = lines.Where() + Count(static_cast<long long>(nums.size()), "weight") + ", not " +
                 std::to_string(count) + " " + what + " weights";
        return false;
    }
    long long top = 0;
    for (long long w : nums) {
        if (w < 0 || w > largest) {
            *error = lines.Where() + "a " + what + " weight of " + std::to_string(w) +
                     ", outside 0 ... " + std::to_string(largest);
            return false;
        }
        top = std::max(top, w);
    }
    if (top != largest) {
        *error = lines.Where() + "the largest " + what + " weight is " + std::to_string(top) +
                 ", not the stated " + std::to_string(largest);
        return false;
    }
    weights.assign(nums.begin(), nums.end());
    return true;
}

} // namespace

std::optional<Code> ReadAlist(std::string_view text, std::string* error) {
    error->clear();
    Lines lines(text);
    std::vector<long long> nums;
    if (!lines.Next(nums, error)) {
        if (error->empty()) *error = lines.Where() + "the file ends before its sizes N M";
        return std::nullopt;
    }
    if (nums.size() != 2 || nums[0] < 1 || nums[1] < 1 || nums[0] > kMaxSize ||
        nums[1] > kMaxSize) {
        *error = lines.Where() + "the sizes must be two numbers N M in 1 ... " +
                 std::to_string(kMaxSize);
        return std::nullopt;
    }
    const long long n = nums[0], m = nums[1];
    if (!lines.Next(nums, error)) {
        if (error->empty()) *error = lines.Where() + "the file ends before the largest weights";
        return std::nullopt;
    }
    if (nums.size() != 2 || nums[0] < 1 || nums[0] > m || nums[1] < 1 || nums[1] > n) {
        *error = lines.Where() + "the largest weights must be two numbers, 1 ... " +
                 std::to_string(m) + " and 1 ... " + std::to_string(n);
        return std::nullopt;
    }
    const int maxCol = static_cast<int>(nums[0]), maxRow = static_cast<int>(nums[1]);
    std::vector<int> colWeight, rowWeight;
    if (!ReadWeights(lines, nums, "column", n, maxCol, colWeight, error)) return std::nullopt;
    if (!ReadWeights(lines, nums, "row", m, maxRow, rowWeight, error)) return std::nullopt;
    long long colSum = 0, rowSum = 0;
    for (int w : colWeight) colSum += w;
    for (int w : rowWeight) rowSum += w;
    if (colSum != rowSum) {
        *error = lines.Where() + "the row weights add up to " + std::to_string(rowSum) +
                 ", the column weights to " + std::to_string(colSum);
        return std::nullopt;
    }
    std::vector<std::vector<int>> colRows(n);
    for (int v = 0; v < n; ++v) {
        if (!lines.Next(nums, error)) {
            if (error->empty())
                *error = lines.Where() + "the file ends before column " + std::to_string(v + 1) +
                         "'s line";
            return std::nullopt;
        }
        if (!ReadList(lines, nums, "column", v, colWeight[v], maxCol, m, "row", colRows[v], error))
            return std::nullopt;
        std::sort(colRows[v].begin(), colRows[v].end());
    }
    std::vector<std::vector<int>> rows(m);
    for (int c = 0; c < m; ++c) {
        if (!lines.Next(nums, error)) {
            if (error->empty())
                *error =
                    lines.Where() + "the file ends before row " + std::to_string(c + 1) + "'s line";
            return std::nullopt;
        }
        if (!ReadList(lines, nums, "row", c, rowWeight[c], maxRow, n, "column", rows[c], error))
            return std::nullopt;
        for (int v : rows[c])
            if (!std::binary_search(colRows[v].begin(), colRows[v].end(), c)) {
                *error = lines.Where() + "row " + std::to_string(c + 1) + " lists column " +
                         std::to_string(v + 1) + ", whose line does not list row " +
                         std::to_string(c + 1);
                return std::nullopt;
            }
    }
    if (lines.Next(nums, error) || !error->empty()) {
        if (error->empty()) *error = lines.Where() + "text after the last row's line";
        return std::nullopt;
    }
    return CodeFromChecks(static_cast<int>(n), rows);
}

std::string WriteAlist(const Code& code) {
    int maxCol = 0;
    for (int v = 0; v < code.n; ++v) maxCol = std::max(maxCol, code.ColumnWeight(v));
    const int maxRow = code.MaxRowWeight();
    std::string out;
    auto line = [&out](const std::vector<int>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i) out += ' ';
            out += std::to_string(values[i]);
        }
        out += '\n';
    };
    line({code.n, code.m});
    line({maxCol, maxRow});
    std::vector<int> values;
    for (int v = 0; v < code.n; ++v) values.push_back(code.ColumnWeight(v));
    line(values);
    values.clear();
    for (int c = 0; c < code.m; ++c) values.push_back(code.RowWeight(c));
    line(values);
    for (int v = 0; v < code.n; ++v) {
        values.assign(maxCol, 0);
        for (int i = code.varStart[v]; i < code.varStart[v + 1]; ++i)
            values[i - code.varStart[v]] = code.varCheck[i] + 1;
        line(values);
    }
    for (int c = 0; c < code.m; ++c) {
        values.assign(maxRow, 0);
        for (int e = code.checkStart[c]; e < code.checkStart[c + 1]; ++e)
            values[e - code.checkStart[c]] = code.checkVar[e] + 1;
        line(values);
    }
    return out;
}

} // namespace codes
