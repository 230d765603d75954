#include "ximage/palette_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace raster {

std::size_t ReadPaletteFile(const char* path, std::uint8_t (&table)[kPaletteFileBytes]) {
    if (path == nullptr || *path == '\0') return 0;
    // Non-blocking, so that a pipe or a device with nothing to give ends the
    // read instead of hanging the window; never a controlling terminal.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return 0;
    }
    std::size_t stored = 0;
    while (stored < kPaletteFileBytes) {
        const ssize_t n = ::read(fd, table + stored, kPaletteFileBytes - stored);
        if (n > 0) {
            stored += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // end of file, nothing available now, or an error
        }
    }
    ::close(fd);
    return stored;
}

} // namespace raster
