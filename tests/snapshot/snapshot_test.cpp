// quorvane-snapshot as a user runs it: its arguments, its outputs, and what
// it leaves behind when it fails.
#include "channel/coding.h"
#include "snapshot/snapshot_args.h"
#include "snapshot/snapshot_data.h"
#include "tests/program_fixture.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Result;
using testsupport::Slurp;

namespace {

class Snapshot : public testsupport::ProgramTest {
  protected:
    Snapshot() : ProgramTest(QUORVANE_SNAPSHOT, "qv-snap-") {}
};

TEST(SnapshotArgs, Parses) {
    auto parse = [](std::vector<std::string_view> a) { return snapshot::ParseSnapshotArgs(a); };
    auto r = parse({"--runs", "7", "--png", "a.png", "--wave=w.csv"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.runs, 7);
    EXPECT_EQ(r.options.png, "a.png");
    EXPECT_EQ(r.options.wave, "w.csv");
    EXPECT_EQ(parse({"--raster", "r"}).options.runs, 1);
    EXPECT_EQ(parse({"--runs", "0", "--data", "d"}).options.runs, 0);
    EXPECT_EQ(parse({"--runs", "1000000", "--data", "d"}).options.runs, 1000000);
    EXPECT_TRUE(parse({"--help"}).options.help);
}

TEST(SnapshotArgs, RejectsWithOneLineNamingTheProblem) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> bad = {
        {{}, "nothing to write"},
        {{"--runs", "3"}, "nothing to write"},
        {{"--runs"}, "needs a value"},
        {{"--runs", "x1", "--png", "a"}, "whole number"},
        {{"--runs", "-1", "--png", "a"}, "whole number"},
        {{"--runs", "1.5", "--png", "a"}, "whole number"},
        {{"--runs", "", "--png", "a"}, "whole number"},
        {{"--runs", "1000001", "--png", "a"}, "more than"},
        {{"--runs", "99999999999999999999999", "--png", "a"}, "more than"},
        {{"--frobnicate"}, "unknown option"},
        {{"png", "a"}, "unknown option"},
        {{"--png", "a", "--png", "b"}, "twice"},
        {{"--png", ""}, "file name"},
        {{"--png"}, "needs a value"},
        {{"-\n--x"}, "unknown option '-?--x'"},
        {{"--runs=1\n2", "--png", "a"}, "not '1?2'"},
        {{"--data", "-", "--wave=-"}, "only one output can be standard output"},
        {{"--version=1"}, "--version takes no value"},
        {{"--every-press=yes", "--png", "a"}, "--every-press takes no value"},
    };
    for (const auto& [args, fragment] : bad) {
        const auto r = snapshot::ParseSnapshotArgs(args);
        EXPECT_FALSE(r.ok) << fragment;
        EXPECT_NE(r.error.find(fragment), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
}

TEST(SnapshotArgs, TheFirstProblemFromTheLeftAndValuesAsWritten) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> bad = {
        {{"--bogus", "--runs", "x", "--png", "a"}, "unknown option '--bogus'"},
        {{"--runs", "x", "--bogus"}, "--runs needs a whole number from 0 to 1000000, not 'x'"},
        {{"-h", "--bogus=1"}, "unknown option '--bogus'"},
        {{"--help=", "--png", "a"}, "--help takes no value"},
        {{"--help=true"}, "--help takes no value"},
        {{"-hx"}, "unknown option '-hx'"},
        {{"-h=x"}, "unknown option '-h=x'"},
        {{"--png=", "b"}, "--png needs a file name"},
        {{"--runs="}, "--runs needs a whole number from 0 to 1000000, not ''"},
        {{"--raster", "r", "--runs"}, "--runs needs a value"},
        {{"--png", "a", "--png="}, "--png given twice"},
        {{"--runs", "1", "--runs", "x"}, "--runs given twice"},
        {{"--", "--png", "a"}, "unknown option '--'"},
        {{"--=x"}, "unknown option '--'"},
        {{"---x=1"}, "unknown option '---x'"},
        {{""}, "unknown option ''"},
    };
    for (const auto& [args, error] : bad) {
        const auto r = snapshot::ParseSnapshotArgs(args);
        EXPECT_FALSE(r.ok) << error;
        EXPECT_EQ(r.error, error);
    }
    // A value is the next word, whatever it looks like.
    const auto r = snapshot::ParseSnapshotArgs({"--png", "-h", "--wave", "--", "--data=--runs"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.options.help);
    EXPECT_EQ(r.options.png + " " + r.options.wave + " " + r.options.data, "-h -- --runs");
}

TEST_F(Snapshot, FailuresOutsideTheJobAreStatusOne) {
    // Qt refuses the platform once the outputs' temporary files and the run's
    // runtime folder exist: none of them is left behind.
    const fs::path tmp = dir_.string() + "-tmp";
    fs::create_directories(tmp);
    auto status = [](const std::string& command) {
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status("env -u XDG_RUNTIME_DIR TMPDIR=" + tmp.string() +
                     " QT_QPA_PLATFORM=quorvane-none " QUORVANE_SNAPSHOT " --png " + P("w.png") +
                     " --data " + P("d.csv") + " 2>" + P("err")),
              1);
    EXPECT_NE(Slurp(P("err")).find("\"quorvane-none\""), std::string::npos) << Slurp(P("err"));
    EXPECT_EQ(status(QUORVANE_SNAPSHOT " --help >/dev/full 2>" + P("err")), 1);
    EXPECT_EQ(Slurp(P("err")),
              "quorvane-snapshot: cannot write standard output: No space left on device\n");
    fs::remove(P("err"));
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(fs::is_empty(tmp));
    fs::remove_all(tmp);
}

TEST_F(Snapshot, HelpAndUsageErrors) {
    Result r = Run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: quorvane-snapshot"), std::string::npos);
    for (const char* args : {"", "--runs", "--runs abc --png x.png", "--runs 1000001 --png x.png",
                             "--runs -3 --png x.png", "--bogus"}) {
        r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("quorvane-snapshot: ", 0), 0u) << r.err;
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(Snapshot, UnwritableOutputFailsAndLeavesNothing) {
    Result r = Run("--raster " + P("ok.pgm") + " --png " + P("missing/dir/x.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing/dir/x.png"), std::string::npos) << r.err;
    EXPECT_TRUE(Files().empty());
    // Permission bits do not stop root, but /proc takes no new files from anyone.
    r = Run("--data /proc/quorvane-test.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    r = Run("--raster " + P("ok.pgm") + " --data " + dir_.string());
    EXPECT_EQ(r.err, "quorvane-snapshot: cannot write " + dir_.string() + ": Is a directory\n");
    EXPECT_TRUE(Files().empty());
}

TEST_F(Snapshot, InterruptedRunLeavesNothing) {
    // A long run (every press drawn) outside a desktop session, stopped once
    // its temporary files and its runtime folder in TMPDIR exist.
    const fs::path tmp = dir_.string() + "-tmp";
    fs::create_directories(tmp);
    const std::string script =
        "env -u XDG_RUNTIME_DIR TMPDIR=" + tmp.string() + " " + std::string(QUORVANE_SNAPSHOT) +
        " --every-press --runs 1000000 --data " + P("d.csv") + " --raster " + P("r.pgm") +
        " 2>/dev/null & pid=$!; for i in $(seq 100); do ls " + tmp.string() +
        " | grep -q runtime && break; sleep 0.05; done; kill -TERM $pid; wait $pid; echo $? > " +
        P("status");
    std::system(("sh -c '" + script + "'").c_str());
    EXPECT_EQ(Slurp(P("status")), "143\n");
    fs::remove(P("status"));
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(fs::is_empty(tmp));
    fs::remove_all(tmp);
}

TEST_F(Snapshot, FirstRunOutputs) {
    const Result r = Run("--raster " + P("r.pgm") + " --data " + P("d.csv") + " --wave " +
                         P("w.csv") + " --png " + P("w.png"));
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string pgm = Slurp(P("r.pgm"));
    const std::string header = "P5\n600 400\n255\n";
    ASSERT_EQ(pgm.size(), header.size() + 240000);
    ASSERT_EQ(pgm.substr(0, header.size()), header);
    auto at = [&](int x, int y) { // y counts from the bottom of the plot
        return static_cast<unsigned char>(pgm[header.size() + (399 - y) * 600 + x]);
    };
    const int rows[41] = {199, 200, 200, 200, 230, 290, 290, 260, 260, 199, 140, 170, 229, 260,
                          199, 140, 170, 229, 290, 289, 229, 199, 169, 79,  49,  199, 349, 289,
                          140, 110, 169, 229, 290, 259, 140, 109, 169, 229, 260, 169, 50};
    for (int k = 0; k <= 40; ++k) {
        EXPECT_EQ(at(100 + 10 * k, rows[k] + 2), 15) << k;
        EXPECT_EQ(at(100 + 10 * k, rows[k] - 2), 15) << k;
        EXPECT_EQ(at(98 + 10 * k, rows[k]), 15) << k;
    }

    std::istringstream data(Slurp(P("d.csv")));
    std::string line, raw;
    std::getline(data, line);
    EXPECT_EQ(line, "run,k,raw,prec,nrzi,samp");
    int rowsRead = 0;
    while (std::getline(data, line)) {
        ++rowsRead;
        int run, k, rw, pr, nz, sp;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%d", &run, &k, &rw, &pr, &nz, &sp), 6);
        EXPECT_EQ(run, 1);
        EXPECT_EQ(k, rowsRead - 1);
        raw += static_cast<char>('0' + rw);
        if (k == 23) {
            EXPECT_EQ(sp, -4);
        }
    }
    EXPECT_EQ(rowsRead, 40);
    EXPECT_EQ(raw, "0000111000011000111110101011011110011101");

    std::istringstream wave(Slurp(P("w.csv")));
    std::getline(wave, line);
    EXPECT_EQ(line, "column,value");
    int columns = 0;
    while (std::getline(wave, line)) {
        int j;
        double v;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf", &j, &v), 2);
        EXPECT_EQ(j, columns++);
        if (j == 500) {
            EXPECT_NEAR(v, -5.0, 2e-6);
        }
        if (j == 140) {
            EXPECT_NEAR(v, 1.0, 2e-6);
        }
    }
    EXPECT_EQ(columns, 600);

    const std::string png = Slurp(P("w.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // Width and height from the IHDR chunk: the client area.
    auto be32 = [&](size_t o) {
        return (unsigned char)png[o] << 24 | (unsigned char)png[o + 1] << 16 |
               (unsigned char)png[o + 2] << 8 | (unsigned char)png[o + 3];
    };
    EXPECT_EQ(be32(16), 690);
    EXPECT_EQ(be32(20), 483);
    EXPECT_EQ(fs::status(P("r.pgm")).permissions() & fs::perms::others_read,
              fs::perms::others_read);
}

TEST_F(Snapshot, NoRunsIsTheFirstViewAndRunsAreInOrder) {
    ASSERT_EQ(Run("--runs 0 --raster " + P("r.pgm")).status, 0);
    const std::string pgm = Slurp(P("r.pgm"));
    EXPECT_EQ(std::count(pgm.begin() + 15, pgm.end(), '\0'), 230093);

    ASSERT_EQ(Run("--runs 3 --data " + P("d.csv")).status, 0);
    std::istringstream data(Slurp(P("d.csv")));
    std::string line;
    std::getline(data, line);
    std::vector<int> runs;
    while (std::getline(data, line)) runs.push_back(std::stoi(line));
    ASSERT_EQ(runs.size(), 120u);
    EXPECT_EQ(runs.front(), 1);
    EXPECT_EQ(runs[40], 2);
    EXPECT_EQ(runs.back(), 3);
}

TEST_F(Snapshot, LastPressAloneWritesWhatEveryPressWrites) {
    const char* const files[] = {"png", "pgm", "data", "wave"};
    auto outputs = [&](const char* tag) {
        std::string args;
        for (const char* f : files)
            args += std::string(" --") + (f == files[1] ? "raster" : f) + " " + P(f) + tag;
        return args;
    };
    for (const char* runs : {"1", "2", "1000"}) {
        ASSERT_EQ(Run(std::string("--runs ") + runs + outputs(".fast")).status, 0);
        ASSERT_EQ(Run(std::string("--runs ") + runs + " --every-press" + outputs(".slow")).status,
                  0);
        for (const char* f : files) {
            const std::string fast = Slurp(P(f) + ".fast");
            EXPECT_GT(fast.size(), 100u) << f;
            EXPECT_TRUE(fast == Slurp(P(f) + ".slow")) << runs << " runs: " << f << " differs";
        }
    }
}

TEST_F(Snapshot, StandardOutputPipesLinksAndVersion) {
    ASSERT_EQ(Run("--runs 2 --data " + P("d.csv")).status, 0);
    const std::string rows = Slurp(P("d.csv"));
    EXPECT_EQ(Run("--runs 2 --data -").out, rows);
    // A named pipe is written in place, not replaced by a file.
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
    std::system(("cat " + P("fifo") + " >" + P("copy") + " & " + QUORVANE_SNAPSHOT +
                 " --runs 2 --data " + P("fifo") + "; wait")
                    .c_str());
    EXPECT_EQ(Slurp(P("copy")), rows);
    EXPECT_TRUE(fs::is_fifo(P("fifo")));
    // Through a link the file it names is replaced, keeping its mode.
    const auto mode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(P("d.csv"), mode);
    fs::create_symlink(P("d.csv"), P("link.csv"));
    ASSERT_EQ(Run("--runs 3 --data " + P("link.csv")).status, 0);
    EXPECT_TRUE(fs::is_symlink(P("link.csv")) && fs::status(P("d.csv")).permissions() == mode);
    EXPECT_EQ(Slurp(P("d.csv")).substr(0, rows.size()), rows);
    EXPECT_GT(Slurp(P("d.csv")).size(), rows.size());
    EXPECT_EQ(Run("--png - --raster=-").status, 2);
    EXPECT_EQ(Run("--version").out, "quorvane-snapshot " QUORVANE_VERSION "\n");
}

TEST_F(Snapshot, ProgressOnlyOnATerminal) {
    const char* const job = " --every-press --runs 3000 --raster /dev/null";
    EXPECT_EQ(Run(job).err, "");
    // script(1) gives the job a terminal; its typescript is what the terminal got.
    std::system(
        ("script -qec '" QUORVANE_SNAPSHOT + std::string(job) + "' " + P("tty") + " >/dev/null")
            .c_str());
    const std::string tty = Slurp(P("tty"));
    for (const char* part : {"/3000 runs, ", " runs/s | ", "\r\033[K"})
        EXPECT_NE(tty.find(part), std::string::npos) << tty;
}

TEST(DataRows, AsPrintfSetsThem) {
    const std::int32_t samples[] = {-6, 6, -1, 0, 9, -10, 123, INT_MIN, INT_MAX};
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    std::string want = "run,k,raw,prec,nrzi,samp\n";
    snapshot::DataWriter rows(out);
    rows.Header();
    for (std::int32_t run : {1, 10, 1000000}) {
        for (int k = 0; k < channel::kBits; ++k) {
            const int s = samples[(k + run) % 9];
            channel::rawData[k] = k % 2, channel::precData[k] = k / 20, channel::nrziData[k] = 1;
            channel::sampData[k] = s;
            want += std::to_string(run) + "," + std::to_string(k) + "," + std::to_string(k % 2) +
                    "," + std::to_string(k / 20) + ",1," + std::to_string(s) + "\n";
        }
        rows.Run(run);
    }
    EXPECT_TRUE(rows.Flush());
    std::fclose(out);
    EXPECT_EQ(std::string(text, size), want);
    std::free(text);
}

} // namespace
