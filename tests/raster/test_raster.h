#pragma once
// A heap raster for the primitive tests: bottom row first in memory, row pitch
// equal to the width, and guard bytes before and after the block so that a
// stray write outside the raster shows up.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "raster/row_table.h"

namespace raster::test {

using Pixel = std::pair<std::int32_t, std::int32_t>; // (x, y)
using Pixels = std::vector<Pixel>;

class TestRaster {
  public:
    static constexpr std::size_t kGuard = 256;
    static constexpr std::uint8_t kGuardByte = 0xA5;

    TestRaster(std::int32_t width, std::int32_t height, std::uint8_t background = 0)
        : width_(width), height_(height),
          store_(kGuard * 2 + static_cast<std::size_t>(width) * height, kGuardByte),
          rows_(static_cast<std::size_t>(height)) {
        std::fill(store_.begin() + kGuard, store_.end() - kGuard, background);
        for (std::int32_t y = 0; y < height; ++y)
            rows_[y] = store_.data() + kGuard + static_cast<std::size_t>(y) * width;
    }

    RowTable rt() const { return rows_.data(); }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::uint8_t* block() { return store_.data() + kGuard; }
    std::size_t bytes() const { return static_cast<std::size_t>(width_) * height_; }

    std::uint8_t& at(std::int32_t x, std::int32_t y) { return rows_[y][x]; }

    void Fill(std::uint8_t v) { std::fill(block(), block() + bytes(), v); }

    // Pixels holding value, sorted by x then y.
    Pixels With(std::uint8_t value) const {
        Pixels out;
        for (std::int32_t y = 0; y < height_; ++y)
            for (std::int32_t x = 0; x < width_; ++x)
                if (rows_[y][x] == value) out.emplace_back(x, y);
        std::sort(out.begin(), out.end());
        return out;
    }

    // Pixels that differ from value, sorted.
    Pixels Not(std::uint8_t value) const {
        Pixels out;
        for (std::int32_t y = 0; y < height_; ++y)
            for (std::int32_t x = 0; x < width_; ++x)
                if (rows_[y][x] != value) out.emplace_back(x, y);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::size_t Count(std::uint8_t value) const { return With(value).size(); }

    bool GuardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (store_[i] != kGuardByte || store_[store_.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }

    std::vector<std::uint8_t> Snapshot() const {
        return std::vector<std::uint8_t>(store_.begin() + kGuard, store_.end() - kGuard);
    }

  private:
    std::int32_t width_;
    std::int32_t height_;
    std::vector<std::uint8_t> store_;
    std::vector<std::uint8_t*> rows_;
};

inline Pixels Sorted(Pixels p) {
    std::sort(p.begin(), p.end());
    return p;
}

} // namespace raster::test
