// The 8-bit bitmap's bottom-up store and its palette.
#include "platform/bitmap.h"

#include <gtest/gtest.h>

namespace {

using platform::Bitmap8;

TEST(Bitmap8, StartsEmptyWithABlackPalette) {
    const Bitmap8 b;
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    for (platform::Colour c : b.GetPalette().colours) EXPECT_EQ(c, 0u);
}

TEST(Bitmap8, StoreHoldsTheBottomRowFirstInOneBlock) {
    Bitmap8 b;
    b.SetHeight(400);
    b.SetWidth(600);
    ASSERT_EQ(b.Pitch(), 600);
    std::uint8_t* bottom = b.ScanLine(399);
    std::uint8_t* top = b.ScanLine(0);
    EXPECT_EQ(top - bottom, 399 * 600);
    for (int r = 0; r + 1 < 400; ++r) EXPECT_EQ(b.ScanLine(r) - b.ScanLine(r + 1), 600);
    // The whole block is writable from the bottom row on.
    bottom[0] = 1;
    bottom[600 * 400 - 1] = 2;
    EXPECT_EQ(b.ScanLine(399)[0], 1);
    EXPECT_EQ(b.ScanLine(0)[599], 2);
}

TEST(Bitmap8, PitchRoundsTheWidthUpToFourBytes) {
    Bitmap8 b;
    b.SetWidth(10);
    b.SetHeight(3);
    EXPECT_EQ(b.Pitch(), 12);
    EXPECT_EQ(b.ScanLine(0) - b.ScanLine(1), 12);
    b.SetWidth(608);
    EXPECT_EQ(b.Pitch(), 608);
    b.SetWidth(-5);
    EXPECT_EQ(b.Width(), 0);
}

TEST(Bitmap8, SizeChangeClearsThePixels) {
    Bitmap8 b;
    b.SetWidth(8);
    b.SetHeight(2);
    b.ScanLine(1)[3] = 77;
    b.SetHeight(4);
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(b.ScanLine(r)[x], 0) << r << "," << x;
}

TEST(Bitmap8, NewPaletteRecreatesTheStoreKeepingThePixels) {
    Bitmap8 b;
    b.SetWidth(16);
    b.SetHeight(4);
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 16; ++x) b.ScanLine(r)[x] = static_cast<std::uint8_t>(r * 16 + x);
    const std::uint8_t* before = b.ScanLine(3);

    auto palette = std::make_unique<platform::Palette>();
    palette->colours[5] = 0xABCDEF;
    b.SetPalette(std::move(palette));

    EXPECT_EQ(b.GetPalette().colours[5], 0xABCDEFu);
    EXPECT_NE(b.ScanLine(3), before) << "row addresses must go stale";
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(b.ScanLine(r)[x], r * 16 + x);
}

} // namespace
