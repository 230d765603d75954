#include "display/snapshot_args.h"

#include <cstddef>

namespace display {

const char* const kSnapshotUsage =
    "Usage: quorvane-snapshot [--runs N] [--png FILE] [--raster FILE] [--data FILE] "
    "[--wave FILE]\n"
    "Builds the Quorvane window off-screen, presses its button N times (default 1, 0 to\n"
    "1000000; 0 gives the window as first shown) and writes:\n"
    "  --png FILE     the window's client area as a PNG\n"
    "  --raster FILE  the plot's palette indices as a binary PGM, top row first\n"
    "  --data FILE    CSV run,k,raw,prec,nrzi,samp for every run\n"
    "  --wave FILE    CSV column,value of the last run's waveform\n"
    "  --help         this text\n"
    "  --version      the program's name and version\n"
    "A FILE of - is standard output (one output at most). Each file appears only when\n"
    "the whole job has succeeded. On a terminal, standard error shows the progress.\n"
    "Exit status: 0 done, 1 the job or an output failed, 2 a usage error.\n";

namespace {

// Parses a whole decimal count; false for anything else, including signs and
// blanks. Counts too long to hold come back as one past the limit.
bool ParseCount(std::string_view text, long& out) {
    if (text.empty()) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (value <= kMaxSnapshotRuns) value = value * 10 + (c - '0');
    }
    out = value > kMaxSnapshotRuns ? kMaxSnapshotRuns + 1 : value;
    return true;
}

// A user's text as it may appear inside the one-line message: control bytes
// (line breaks among them) become '?', and long texts are cut.
std::string Shown(std::string_view text) {
    std::string out(text.substr(0, 200));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

} // namespace

SnapshotArgs ParseSnapshotArgs(const std::vector<std::string_view>& args) {
    SnapshotArgs result;
    SnapshotOptions& o = result.options;
    bool runsGiven = false;
    auto fail = [&](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        bool hasInlineValue = false;
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            const std::size_t eq = arg.find('=');
            if (eq != std::string_view::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        if (arg == "--every-press") {
            if (hasInlineValue) return fail("--every-press takes no value");
            o.everyPress = true;
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            if (hasInlineValue) return fail(std::string(arg) + " takes no value");
            (arg == "--version" ? o.version : o.help) = true;
            continue;
        }

        std::string* file = nullptr;
        if (arg == "--png")
            file = &o.png;
        else if (arg == "--raster")
            file = &o.raster;
        else if (arg == "--data")
            file = &o.data;
        else if (arg == "--wave")
            file = &o.wave;
        else if (arg != "--runs")
            return fail("unknown option '" + Shown(arg) + "'");

        if (!hasInlineValue) {
            if (i + 1 >= args.size()) return fail(std::string(arg) + " needs a value");
            value = args[++i];
        }

        if (file == nullptr) {
            if (runsGiven) return fail("--runs given twice");
            runsGiven = true;
            long n = 0;
            if (!ParseCount(value, n))
                return fail("--runs needs a whole number from 0 to 1000000, not '" + Shown(value) +
                            "'");
            if (n > kMaxSnapshotRuns)
                return fail("--runs " + std::string(value) + " is more than 1000000");
            o.runs = n;
        } else {
            if (!file->empty()) return fail(std::string(arg) + " given twice");
            if (value.empty()) return fail(std::string(arg) + " needs a file name");
            if (value.find('\0') != std::string_view::npos)
                return fail(std::string(arg) + " file name holds a NUL byte");
            file->assign(value);
        }
    }

    if (o.help || o.version) {
        result.ok = true;
        return result;
    }
    if (o.png.empty() && o.raster.empty() && o.data.empty() && o.wave.empty())
        return fail("nothing to write: give --png, --raster, --data or --wave");
    // Two outputs on one stream would interleave into something neither is.
    if ((o.png == "-") + (o.raster == "-") + (o.data == "-") + (o.wave == "-") > 1)
        return fail("only one output can be standard output ('-')");
    result.ok = true;
    return result;
}

} // namespace display
