// Reading palette files, including whatever else a user can pick.
#include "ximage/palette_file.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using raster::ReadPaletteFile;
using Table = std::uint8_t[1024];

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "quorvane_pal_" + std::to_string(::getpid()) + "_" + name;
}

std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = TempPath(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

void Fill(Table& t, std::uint8_t v) {
    std::fill(std::begin(t), std::end(t), v);
}

TEST(ReadPaletteFile, ShortFileReplacesOnlyItsPrefix) {
    const std::string path = WriteFile("ten.pal", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Table t;
    Fill(t, 0xEE);
    EXPECT_EQ(ReadPaletteFile(path.c_str(), t), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(t[i], i + 1);
    for (int i = 10; i < 1024; ++i) ASSERT_EQ(t[i], 0xEE) << i;
    std::remove(path.c_str());
}

TEST(ReadPaletteFile, LongFileGivesItsFirst1024Bytes) {
    std::vector<std::uint8_t> bytes(2000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::string path = WriteFile("long.pal", bytes);
    Table t;
    Fill(t, 0);
    EXPECT_EQ(ReadPaletteFile(path.c_str(), t), 1024u);
    EXPECT_TRUE(std::equal(std::begin(t), std::end(t), bytes.begin()));
    std::remove(path.c_str());
}

TEST(ReadPaletteFile, LineEndAndEndOfFileBytesAreColoursLikeAnyOther) {
    const std::string path = WriteFile("ctrl.pal", {10, 13, 26, 32, 13, 10, 0, 255, 26});
    Table t;
    Fill(t, 0x55);
    EXPECT_EQ(ReadPaletteFile(path.c_str(), t), 9u);
    const std::uint8_t expected[] = {10, 13, 26, 32, 13, 10, 0, 255, 26, 0x55};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), t));
    std::remove(path.c_str());
}

TEST(ReadPaletteFile, WhatCannotBeReadChangesNothing) {
    Table t;
    Fill(t, 0x77);
    const std::string file = WriteFile("plain.pal", {1, 2, 3});
    const std::string dir = TempPath("dir.pal");
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    for (const std::string& path : {TempPath("missing.pal"), dir, file + "/inside.pal",
                                    std::string(""), std::string("/proc/self/mem")}) {
        EXPECT_EQ(ReadPaletteFile(path.c_str(), t), 0u) << path;
    }
    EXPECT_EQ(ReadPaletteFile(nullptr, t), 0u);
    EXPECT_TRUE(std::all_of(std::begin(t), std::end(t), [](std::uint8_t v) { return v == 0x77; }));
    ::rmdir(dir.c_str());
    std::remove(file.c_str());
}

TEST(ReadPaletteFile, PipesNeverBlock) {
    const std::string fifo = TempPath("fifo.pal");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Table t;
    Fill(t, 0x11);
    // No writer at all: nothing to read, and no waiting for one.
    EXPECT_EQ(ReadPaletteFile(fifo.c_str(), t), 0u);

    // A writer that gave five bytes and stays open: those five, no waiting
    // for more.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::uint8_t five[] = {9, 8, 7, 6, 5};
    ASSERT_EQ(::write(writer, five, sizeof five), 5);
    ::close(reader); // the data stays in the pipe while the writer holds it open
    EXPECT_EQ(ReadPaletteFile(fifo.c_str(), t), 5u);
    EXPECT_EQ(t[0], 9);
    EXPECT_EQ(t[4], 5);
    EXPECT_EQ(t[5], 0x11);
    // Open writer, empty pipe.
    EXPECT_EQ(ReadPaletteFile(fifo.c_str(), t), 0u);
    ::close(writer);
    ::unlink(fifo.c_str());
}

TEST(ReadPaletteFile, EndlessDevicesGiveExactly1024Bytes) {
    Table t;
    Fill(t, 0x99);
    EXPECT_EQ(ReadPaletteFile("/dev/zero", t), 1024u);
    EXPECT_TRUE(std::all_of(std::begin(t), std::end(t), [](std::uint8_t v) { return v == 0; }));
    // Random bytes may come in pieces or not at all, but never past the table.
    const std::size_t n = ReadPaletteFile("/dev/random", t);
    EXPECT_LE(n, 1024u);
    EXPECT_LE(ReadPaletteFile("/dev/urandom", t), 1024u);
    EXPECT_EQ(ReadPaletteFile("/dev/null", t), 0u);
}

} // namespace
