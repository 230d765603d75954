// Feeds quorvane-snapshot's argument parser arbitrary command lines: the
// input split on NUL bytes is the argument list. Whatever it is given, the
// parser must not throw, and its answer must be one the program can act on.
#include "snapshot/snapshot_args.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what, const snapshot::SnapshotArgs& r) {
    std::fprintf(stderr, "snapshot_args_fuzz: %s (ok=%d help=%d runs=%ld error='%s')\n", what,
                 r.ok ? 1 : 0, r.options.help ? 1 : 0, r.options.runs, r.error.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> args;
    if (!input.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t nul = input.find('\0', start);
            if (nul == std::string_view::npos) {
                args.push_back(input.substr(start));
                break;
            }
            args.push_back(input.substr(start, nul - start));
            start = nul + 1;
        }
    }

    snapshot::SnapshotArgs r;
    try {
        r = snapshot::ParseSnapshotArgs(args);
    } catch (...) {
        std::fprintf(stderr, "snapshot_args_fuzz: ParseSnapshotArgs threw\n");
        std::abort();
    }

    const snapshot::SnapshotOptions& o = r.options;
    if (!r.ok) {
        if (r.error.empty()) Fail("refused without saying why", r);
        if (r.error.find('\n') != std::string::npos) Fail("error spans more than one line", r);
        return 0;
    }
    if (!r.error.empty()) Fail("accepted but carries an error", r);
    if (o.help || o.version) return 0;
    if (o.runs < 0 || o.runs > snapshot::kMaxSnapshotRuns) Fail("run count out of range", r);
    if (o.png.empty() && o.raster.empty() && o.data.empty() && o.wave.empty())
        Fail("accepted with nothing to write", r);
    int toStdout = 0;
    for (const std::string* file : {&o.png, &o.raster, &o.data, &o.wave}) {
        if (file->find('\0') != std::string::npos) Fail("file name holds a NUL byte", r);
        toStdout += *file == "-";
    }
    if (toStdout > 1) Fail("two outputs share standard output", r);
    return 0;
}
