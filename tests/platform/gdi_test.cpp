// Palette and font records and the three window-system calls over them.
#include "platform/gdi.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(CreatePalette, MapsEntriesAndIgnoresFlags) {
    LogPalette record{};
    record.palVersion = 0x300;
    record.palNumEntries = 256;
    record.palPalEntry[0] = {0x12, 0x34, 0x56, 0xFF};
    record.palPalEntry[14] = {255, 255, 0, 0};
    record.palPalEntry[255] = {1, 2, 3, 4};
    const PaletteHandle p = CreatePalette(record);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->colours[0], 0x123456u);
    EXPECT_EQ(p->colours[14], 0xFFFF00u);
    EXPECT_EQ(p->colours[255], 0x010203u);
    EXPECT_EQ(p->colours[1], 0u);
}

TEST(CreatePalette, EntriesPastTheCountAreBlack) {
    LogPalette record{};
    record.palVersion = 0x300;
    record.palNumEntries = 2;
    for (auto& e : record.palPalEntry) e = {200, 100, 50, 0};
    const PaletteHandle p = CreatePalette(record);
    EXPECT_EQ(p->colours[0], 0xC86432u);
    EXPECT_EQ(p->colours[1], 0xC86432u);
    EXPECT_EQ(p->colours[2], 0u);
    EXPECT_EQ(p->colours[255], 0u);

    record.palNumEntries = 60000; // more than a palette holds: all 256, nothing past them
    EXPECT_EQ(CreatePalette(record)->colours[255], 0xC86432u);
}

TEST(FontRecords, MakeFontFillsTheRecordAsTheWindowSystemDoes) {
    const Font f = MakeFont("Courier New", 12, ANSI_CHARSET, 0x112233);
    EXPECT_EQ(f.record.lfHeight, -12);
    EXPECT_EQ(f.record.lfWeight, FW_NORMAL);
    EXPECT_EQ(f.record.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(f.record.lfEscapement, 0);
    EXPECT_STREQ(f.record.lfFaceName, "Courier New");
    EXPECT_EQ(f.colour, 0x112233u);

    const Font longName =
        MakeFont("A face name far longer than the thirty-one characters", 9, DEFAULT_CHARSET, 0);
    EXPECT_EQ(std::strlen(longName.record.lfFaceName), 31u);
}

TEST(FontRecords, GetObjectThenCreateFontIndirectRoundTrips) {
    Font f = MakeFont("Courier New", 12, ANSI_CHARSET, 0);
    f.record.lfItalic = 1;
    LogFont copy;
    std::memset(&copy, 0xCD, sizeof copy);
    ASSERT_EQ(GetObjectA(f, sizeof copy, &copy), 60);
    EXPECT_EQ(std::memcmp(&copy, &f.record, sizeof copy), 0);

    copy.lfEscapement = copy.lfOrientation = 900;
    copy.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    const Font g = CreateFontIndirectA(copy);
    EXPECT_EQ(g.record.lfEscapement, 900);
    EXPECT_EQ(g.record.lfOrientation, 900);
    EXPECT_EQ(g.record.lfOutPrecision, 7);
    EXPECT_EQ(g.record.lfHeight, -12);
    EXPECT_EQ(g.record.lfItalic, 1);
    EXPECT_STREQ(g.record.lfFaceName, "Courier New");
}

TEST(FontRecords, GetObjectCopiesNoMoreThanAskedAndNothingWithoutABuffer) {
    const Font f = MakeFont("Courier New", 12, ANSI_CHARSET, 0);
    unsigned char buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(GetObjectA(f, 4, buffer), 4);
    EXPECT_EQ(std::memcmp(buffer, &f.record.lfHeight, 4), 0);
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_EQ(GetObjectA(f, 100, buffer), 60);
    EXPECT_EQ(GetObjectA(f, 60, nullptr), 0);
    EXPECT_EQ(GetObjectA(f, 0, buffer), 0);
    EXPECT_EQ(GetObjectA(f, -1, buffer), 0);
}

TEST(FontRecords, AnUnterminatedFaceNameIsCutAtTheField) {
    LogFont record{};
    std::memset(record.lfFaceName, 'x', sizeof record.lfFaceName);
    const Font f = CreateFontIndirectA(record);
    EXPECT_EQ(std::strlen(f.record.lfFaceName), 31u);
}

} // namespace
