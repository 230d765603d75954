// Feeds the palette-file reader arbitrary file contents. The input is written
// to a scratch file and read into a table that holds a known pattern: the
// first min(size, 1024) bytes must replace the table's prefix exactly, byte
// for byte whatever their values, and the rest must keep the pattern.
#include "ximage/palette_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// An in-memory file, opened by the reader through its /proc path: rewriting a
// disk file thousands of times a second would spend the run in the kernel.
int g_fd = -1;
std::string g_path;

[[noreturn]] void Fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "palette_file_fuzz: %s (byte %zu)\n", what, at);
    std::abort();
}

std::uint8_t Pattern(std::size_t i) {
    return static_cast<std::uint8_t>(i * 7 + 0xA5);
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(g_fd, 0) != 0) Fail("cannot empty the scratch file", 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(g_fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) Fail("cannot write the scratch file", done);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_fd = ::memfd_create("palette_file_fuzz", MFD_CLOEXEC);
    if (g_fd < 0) {
        std::perror("palette_file_fuzz: memfd_create");
        std::abort();
    }
    g_path = "/proc/self/fd/" + std::to_string(g_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteScratch(data, size);

    std::uint8_t table[raster::kPaletteFileBytes];
    for (std::size_t i = 0; i < sizeof table; ++i) table[i] = Pattern(i);

    const std::size_t expected = size < sizeof table ? size : sizeof table;
    const std::size_t stored = raster::ReadPaletteFile(g_path.c_str(), table);
    if (stored != expected) Fail("wrong count of bytes stored", stored);
    for (std::size_t i = 0; i < expected; ++i)
        if (table[i] != data[i]) Fail("table differs from the file", i);
    for (std::size_t i = expected; i < sizeof table; ++i)
        if (table[i] != Pattern(i)) Fail("byte past the file's end changed", i);
    return 0;
}
