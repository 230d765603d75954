// quorvane-lab as a user runs it: its commands, its files, its errors, and
// what Ctrl-C leaves behind.
#include "lab/eye_engine.h"
#include "tests/program_fixture.h"

#include <QImage>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

using testsupport::Result;
using testsupport::Slurp;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class Lab : public testsupport::ProgramTest {
  protected:
    Lab() : ProgramTest(QUORVANE_LAB, "qv-lab-") {}
};

TEST_F(Lab, EventsStartWithTheNearestOnes) {
    const Result r = Run("events");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "d2,event,raw_bit_errors");
    // Worked out by hand: +-+ convolved with the target is 1 2 0 -1 1 0 -2 -1.
    EXPECT_EQ(lines[1], "12,+-+,4");
    EXPECT_EQ(lines[2], "16,+-+00+-+,8");
    EXPECT_EQ(lines[3], "16,+-+000+-+,8");
    EXPECT_EQ(lines[4].substr(0, 3), "20,");
    EXPECT_EQ(lines.back().substr(0, 3), "24,");
    EXPECT_EQ(Lines(Run("events --max-d2 16").out).size(), 4u);
    EXPECT_EQ(Lines(Run("events --max-d2 11").out), std::vector<std::string>{lines[0]});
}

TEST_F(Lab, DetectWithoutNoiseIsExactOnTheWindowsBlocks) {
    const Result r = Run("detect --runs 2000 --sigma 0 --csv -");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u + 2000 * 40);
    EXPECT_EQ(lines[0], "run,k,raw,samp,received,slicer,viterbi");
    std::string firstRaw;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        int run, k, raw, samp, slicer, viterbi;
        double received;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%d,%d,%d,%d,%lf,%d,%d", &run, &k, &raw, &samp,
                              &received, &slicer, &viterbi),
                  7);
        ASSERT_EQ(run, static_cast<int>((i - 1) / 40 + 1));
        ASSERT_EQ(k, static_cast<int>((i - 1) % 40));
        ASSERT_EQ(received, samp) << lines[i];
        ASSERT_EQ(slicer, raw) << lines[i];
        ASSERT_EQ(viterbi, raw) << lines[i];
        if (run == 1) firstRaw += static_cast<char>('0' + raw);
    }
    // The window's first press.
    EXPECT_EQ(firstRaw, "0000111000011000111110101011011110011101");
    const std::vector<std::string> table = Lines(Run("detect --sigma 0 --runs 3").out);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[1], "run 1  raw 0000111000011000111110101011011110011101  slicer "
                        "0000111000011000111110101011011110011101  0  viterbi "
                        "0000111000011000111110101011011110011101  0");
}

TEST_F(Lab, BerCountsDoNotDependOnThreads) {
    const std::string args = "ber --snr 14:22:4 --bits 400000 --errors 200 --frame 1000 --csv ";
    const Result one = Run(args + P("1.csv") + " --threads 1");
    const Result two = Run(args + P("2.csv") + " --threads 2");
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    const std::vector<std::string> csv = Lines(Slurp(P("1.csv")));
    ASSERT_EQ(csv.size(), 4u);
    EXPECT_EQ(csv[0], "snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,viterbi_ber,"
                      "union_bound");
    EXPECT_EQ(csv[1].rfind("14,1.05579358,", 0), 0u) << csv[1];
    EXPECT_EQ(Slurp(P("2.csv")), Slurp(P("1.csv")));
    EXPECT_EQ(Lines(one.out).size(), 4u); // header and three points
    EXPECT_EQ(one.out, two.out);
    // "-" puts the CSV alone on standard output.
    const Result out = Run(args + "- --threads 2");
    EXPECT_EQ(out.out, Slurp(P("1.csv")));
}

TEST_F(Lab, BadInputIsOneLineAndWritesNothing) {
    const std::string csv = " --csv " + (dir_ / "x.csv").string();
    const std::string png = " --png " + (dir_ / "x.png").string();
    const std::pair<std::string, int> cases[] = {
        {"", 2},
        {"frobnicate", 2},
        {"events --bogus", 2},
        {"events --max-d2 0", 2},
        {"events --max-d2 61", 2},
        {"detect --sigma -1" + csv, 2},
        {"detect --sigma nan" + csv, 2},
        {"detect --sigma abc" + csv, 2},
        {"detect --sigma 1 --snr 10" + csv, 2},
        {"detect --runs 0" + csv, 2},
        {"detect --runs 10000001" + csv, 2},
        {"ber --bits 1000" + csv, 2},
        {"ber --snr 10:5:1" + csv, 2},
        {"ber --snr 5:10:0" + csv, 2},
        {"ber --snr 5:10" + csv, 2},
        {"ber --sigma 0.5 --bits 0" + csv, 2},
        {"ber --sigma 0.5 --bits 1e14" + csv, 2},
        {"ber --sigma 0.5 --frame 1048577" + csv, 2},
        {"ber --sigma 0.5 --threads 0" + csv, 2},
        {"ber --sigma 0.5 --threads 257" + csv, 2},
        {"ber --sigma 0.5 --errors 0" + csv, 2},
        {"ber --sigma 0.5 --csv " + (dir_ / "no/such/dir.csv").string(), 1},
        {"detect --csv /proc/quorvane-lab.csv", 1},
        {"ber --sigma 0.5 --csv " + dir_.string(), 1},
        {"eye --runs 10", 2},
        {"eye --uis 0" + png, 2},
        {"eye --uis 17" + png, 2},
        {"eye --size 300x99" + png, 2},
        {"eye --size 132x200 --uis 1" + png, 2},
        {"eye --size 300" + png, 2},
        {"eye --size 300x200x1" + png, 2},
        {"eye --size 4097x300" + png, 2},
        {"eye --sigma 1 --snr 10" + png, 2},
        {"eye --png " + (dir_ / "no/such/dir.png").string(), 1},
        {"eye --png " + dir_.string(), 1},
        {"ber --sigma 0.5 --png " + (dir_ / "no/such/dir.png").string(), 1},
        {"ber --sigma 0.5 --csv - --png -", 2},
        {"ber --sigma 0.5 --size 200x300" + png, 2},
    };
    for (const auto& [args, status] : cases) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, status) << args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("quorvane-lab: ", 0), 0u) << args << ": " << r.err;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_TRUE(Files().empty()) << args;
    }
    for (const std::string cmd : {"events", "detect", "ber", "eye"})
        EXPECT_NE(Run(cmd + " --help").out.find("Usage: quorvane-lab " + cmd), std::string::npos);
    EXPECT_NE(Run("--help").out.find("10 log10(28 / sigma^2)"), std::string::npos);
    EXPECT_EQ(Run("--version").out, "quorvane-lab " QUORVANE_VERSION_TEXT "\n");
}

TEST_F(Lab, PicturesHaveTheAskedSize) {
    const struct {
        std::string args;
        int width, height;
    } cases[] = {
        {"eye --runs 2000 --sigma 0 --size 400x301 --png " + P("eye.png"), 400, 301},
        {"eye --runs 300 --uis 3 --png -", 560, 360},
        {"ber --snr 14:18:2 --bits 1e5 --size 500x320 --png " + P("ber.png"), 500, 320},
        {"ber --sigma 0.3,0.4 --bits 1e4 --png -", 800, 520},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        const std::string name = c.args.substr(0, 3) + ".png";
        const std::string bytes = c.args.back() == '-' ? r.out : Slurp(P(name));
        QImage image;
        ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                       static_cast<int>(bytes.size()), "PNG"))
            << c.args;
        EXPECT_EQ(image.width(), c.width) << c.args;
        EXPECT_EQ(image.height(), c.height) << c.args;
    }
    // The noise-free eye's middle column in the file: black except on the
    // 13 levels, +6 at the top.
    lab::EyeGeometry g;
    ASSERT_EQ(lab::FitEyePicture(400, 301, 2, g), "");
    const QImage eye(QString::fromStdString(P("eye.png")));
    const int x = lab::EyeMargins::left + g.PointColumn(10);
    std::vector<int> lit;
    for (int y = lab::EyeMargins::top; y < lab::EyeMargins::top + g.height; ++y) {
        if ((eye.pixel(x, y) & 0xFFFFFF) != 0) lit.push_back(y);
    }
    std::vector<int> levels;
    for (int l = 6; l >= -6; --l)
        levels.push_back(lab::EyeMargins::top + g.height - 1 - g.LevelRow(l));
    EXPECT_EQ(lit, levels);
}

TEST_F(Lab, CtrlCKeepsTheFinishedPoints) {
    // The first point ends on errors at once, the second would run for hours.
    const pid_t pid =
        Start("ber --sigma 3,0.05 --errors 100 --bits 1e13 --threads 2 --csv " + P("ber.csv"));
    for (int i = 0; i < 600 && Lines(Slurp(P("out.txt"))).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGINT);
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u) << r.out;
    const std::vector<std::string> csv = Lines(Slurp(P("ber.csv")));
    ASSERT_EQ(csv.size(), 2u);
    EXPECT_EQ(csv[1].rfind("4.92915522,3,", 0), 0u) << csv[1];
    EXPECT_EQ(Files(), std::vector<std::string>{"ber.csv"});

    // The eye stops between chunks and writes what it has.
    fs::remove(P("ber.csv"));
    const pid_t eye = Start("eye --runs 1e7 --threads 1 --png " + P("eye.png"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(eye, SIGINT);
    const Result e = Wait(eye);
    EXPECT_EQ(e.status, 130) << e.err;
    EXPECT_NE(e.err.find("stopped by Ctrl-C after "), std::string::npos) << e.err;
    EXPECT_EQ(QImage(QString::fromStdString(P("eye.png"))).width(), 560);
    EXPECT_EQ(Files(), std::vector<std::string>{"eye.png"});
}

} // namespace
