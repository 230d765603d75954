// quorvane-lab as a user runs it: its commands, its files, its errors, and
// what Ctrl-C leaves behind.
#include "choices/channel.h"
#include "detectors/table.h"
#include "engine/eye_diagram.h"
#include "tests/program_fixture.h"

#include <QImage>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <tuple>
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

TEST_F(Lab, EveryDetectorAndChannelOptionIsOffered) {
    // The tables are the command line's: each channel option in the help of
    // the commands that take it, each detector in --detector's, and each one
    // run by detect with its column (on a head where it needs one).
    const struct {
        const char* command;
        unsigned bit;
    } commands[] = {{"ber", choices::kBer},
                    {"detect", choices::kDetect},
                    {"eye", choices::kEye | choices::kEyeTiming}};
    for (const auto& c : commands) {
        const std::string help = Run(std::string(c.command) + " --help").out;
        for (const choices::ChannelOption& row : choices::ChannelOptions())
            EXPECT_EQ(help.find(std::string(row.flag) + " ") != std::string::npos,
                      (row.commands & c.bit) != 0)
                << c.command << " " << row.flag;
    }
    const std::string help = Run("ber --help").out;
    for (const detectors::Row& row : detectors::Table()) {
        EXPECT_NE(help.find(row.name), std::string::npos) << row.name;
        channel::Target e2pr4;
        ASSERT_EQ(channel::Target::Parse("e2pr4", e2pr4), "");
        const bool head = !row.whyNot({&e2pr4, "e2pr4", false, 0}).empty();
        const Result r = Run(std::string("detect --snr 14 --target e2pr4 --csv - --detector ") +
                             row.name + (head ? " --channel lorentz" : ""));
        ASSERT_EQ(r.status, 0) << row.name << ": " << r.err;
        EXPECT_EQ(Lines(r.out).front(), std::string("run,k,raw,samp,received,") + row.name +
                                            (row.soft ? std::string(",") + row.name + "_llr" : ""));
    }
}

TEST_F(Lab, DetectUnderACodeWritesItsWordsAndTheUserBitsAfterTodaysColumns) {
    // The window's first press coded (whole words of its 40 bits), decoded back at sigma 0.
    const std::string press = "0000111000011000111110101011011110011101";
    const std::tuple<const char*, std::size_t, std::size_t> cases[] = {
        {"mtr2-4/5", 50, 40}, {"tvmtr-8/9", 45, 40}, {"rll-16/17", 34, 32}};
    for (const auto& [code, coded, user] : cases) {
        const std::vector<std::string> lines =
            Lines(Run(std::string("detect --sigma 0 --csv - --constraint ") + code).out);
        ASSERT_EQ(lines.size(), coded + 6) << code;
        EXPECT_EQ(lines[0], "run,k,raw,samp,received,viterbi,user,viterbi_user");
        std::string users;
        for (std::size_t k = 0; k < coded + 5; ++k) {
            const std::string& row = lines[1 + k];
            const std::string last = row.substr(row.rfind(',', row.rfind(',') - 1) + 1);
            EXPECT_EQ(last, k < user ? std::string(1, last[0]) + ',' + last[0] : ",") << row;
            users += last[0];
        }
        EXPECT_EQ(users.substr(0, user), press.substr(0, user)) << code;
    }
}

TEST_F(Lab, DetectWithoutNoiseIsExactOnTheWindowsBlocks) {
    // 40 rows of bits per run, then the five samples of the tail with empty
    // raw and decision columns.
    const Result r = Run("detect --runs 2000 --sigma 0 --csv -");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u + 2000 * 45);
    EXPECT_EQ(lines[0], "run,k,raw,samp,received,slicer,viterbi");
    std::string firstRaw, firstTail;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int run = static_cast<int>((i - 1) / 45 + 1), k = static_cast<int>((i - 1) % 45);
        int gotRun, gotK, raw, samp, slicer, viterbi;
        double received;
        if (k >= 40) {
            ASSERT_EQ(
                std::sscanf(lines[i].c_str(), "%d,%d,,%d,%lf,,", &gotRun, &gotK, &samp, &received),
                4)
                << lines[i];
            ASSERT_EQ(lines[i].substr(lines[i].size() - 2), ",,") << lines[i];
            if (run == 1) firstTail += std::to_string(samp) + " ";
        } else {
            ASSERT_EQ(std::sscanf(lines[i].c_str(), "%d,%d,%d,%d,%lf,%d,%d", &gotRun, &gotK, &raw,
                                  &samp, &received, &slicer, &viterbi),
                      7);
            ASSERT_TRUE(slicer == raw && viterbi == raw) << lines[i];
            if (run == 1) firstRaw += static_cast<char>('0' + raw);
        }
        ASSERT_TRUE(gotRun == run && gotK == k) << lines[i];
        ASSERT_EQ(received, samp) << lines[i];
    }
    // The window's first press, and the samples after its block, from its
    // last precoder bits 0 1 1 0 0: 3*0 + 2*0 - 2*1 - 3*1 - 0 = -5 (the
    // plot's column 500), then -4, -1, 0, 0.
    EXPECT_EQ(firstRaw, "0000111000011000111110101011011110011101");
    EXPECT_EQ(firstTail, "-5 -4 -1 0 0 ");
    const std::vector<std::string> table = Lines(Run("detect --sigma 0 --runs 3").out);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[1], "run 1  raw 0000111000011000111110101011011110011101  slicer "
                        "0000111000011000111110101011011110011101  0  viterbi "
                        "0000111000011000111110101011011110011101  0");
}

TEST_F(Lab, SeededSweepsWriteTheirPinnedFiles) {
    // A short sweep with the tail: any change to the bits, the noise, sigma
    // or a detector moves these counts. The noise from the one generator of
    // every version (the default), then from the eight lanes.
    const std::string sweep = "ber --snr 14:22:2 --bits 300000 --errors 100 --frame 1000 --csv -";
    const std::string header =
        "snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,viterbi_ber,union_bound\n";
    const std::string serial =
        header + "14,1.05579358,66000,32582,0.493666667,7021,0.106378788,0.432327263\n"
                 "16,0.838646648,66000,31380,0.475454545,2158,0.0326969697,0.064415939\n"
                 "18,0.666160712,66000,27827,0.421621212,309,0.00468181818,0.00717955529\n"
                 "20,0.529150262,264000,88622,0.335689394,144,0.000545454545,0.000597282154\n"
                 "22,0.420318994,300000,68900,0.229666667,4,1.33333333e-05,1.94365204e-05\n";
    EXPECT_EQ(Run(sweep).out, serial);
    EXPECT_EQ(Run(sweep + " --noise-stream serial").out, serial);
    EXPECT_EQ(Run(sweep + " --noise-stream lanes").out,
              header + "14,1.05579358,66000,32503,0.492469697,6944,0.105212121,0.432327263\n"
                       "16,0.838646648,66000,31344,0.474909091,2245,0.0340151515,0.064415939\n"
                       "18,0.666160712,66000,27888,0.422545455,360,0.00545454545,0.00717955529\n"
                       "20,0.529150262,198000,66237,0.334530303,104,0.000525252525,0.000597282154\n"
                       "22,0.420318994,300000,69375,0.23125,4,1.33333333e-05,1.94365204e-05\n");
    // Without the tail, the files of a short sweep and of the first runs as
    // the lab wrote them before frames had one, byte for byte.
    EXPECT_EQ(Run(sweep + " --tail none").out,
              header +
                  "14,1.05579358,66000,32571,0.4935,7288,0.110424242,0.432327263\n"
                  "16,0.838646648,66000,31343,0.474893939,2124,0.0321818182,0.064415939\n"
                  "18,0.666160712,66000,27790,0.421060606,429,0.0065,0.00717955529\n"
                  "20,0.529150262,198000,66468,0.33569697,109,0.000550505051,0.000597282154\n"
                  "22,0.420318994,300000,68878,0.229593333,44,0.000146666667,1.94365204e-05\n");
    // The lanes' noise through a 6-bit converter: the slicer's levels keep
    // their decisions (halfway between two levels is halfway between two
    // codes), the Viterbi detector loses a little.
    const std::vector<std::string> adc =
        Lines(Run(sweep + " --noise-stream lanes --adc-bits 6").out);
    ASSERT_EQ(adc.size(), 6u);
    EXPECT_EQ(adc[4], "20,0.529150262,198000,66237,0.334530303,120,0.000606060606,0.000597282154");
    const std::vector<std::string> table =
        Lines(Run("ber --sigma 0.5 --bits 1e4 --adc-bits 6").out);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0], "adc: 6 bits, codes 0 ... 60 for the levels -6 ... 6 (5 a level step), "
                        "nearest code, clamped");
    const std::vector<std::string> rows = Lines(Run("detect --runs 2 --tail none --csv -").out);
    ASSERT_EQ(rows.size(), 81u);
    EXPECT_EQ(rows[1], "1,0,0,0,-0.0684663951,0,0");
    EXPECT_EQ(rows[80], "2,39,0,-2,-2.41492677,0,0");
}

TEST_F(Lab, OtherTargetsRunThroughEveryCommand) {
    // A target without a precoder has no slicer: the commands say so, and
    // the slicer's CSV columns stay empty.
    const Result events = Run("events --target pr4 --max-d2 2 --max-len 3");
    EXPECT_EQ(events.out, "d2,event,raw_bit_errors\n2,+,2\n2,+0+,2\n");
    const Result ber = Run("ber --target 2,1 --sigma 0.2 --bits 1e4 --csv " + P("b.csv"));
    ASSERT_EQ(ber.status, 0) << ber.err;
    EXPECT_NE(ber.out.find("no slicer: "), std::string::npos) << ber.out;
    const std::vector<std::string> csv = Lines(Slurp(P("b.csv")));
    ASSERT_EQ(csv.size(), 2u);
    EXPECT_EQ(csv[1].rfind("20.9691001,0.2,12288,,,", 0), 0u) << csv[1];
    const Result detect = Run("detect --target 1,0.8,-0.3 --sigma 0 --csv -");
    EXPECT_EQ(Lines(detect.out)[0], "run,k,raw,samp,received,viterbi");
    EXPECT_EQ(Lines(detect.out).size(), 43u);
    EXPECT_EQ(Run("eye --target e2pr4 --runs 300 --png " + P("e.png")).status, 0);
}

TEST_F(Lab, HeadsRunThroughEveryCommand) {
    // targets: a row per density and target, the best of each density marked.
    const Result t = Run("targets --density 1:3:1 --csv " + P("t.csv"));
    ASSERT_EQ(t.status, 0) << t.err;
    const std::vector<std::string> rows = Lines(Slurp(P("t.csv")));
    ASSERT_EQ(rows.size(), 1u + 3 * 9);
    EXPECT_EQ(rows[0], "density,target,coefficients,delay,mse,d2min,detection_snr_db");
    EXPECT_EQ(rows[1].rfind("1,pr4,\"1,0,-1\",", 0), 0u) << rows[1];
    EXPECT_EQ(rows[9].rfind("1,gpr6,\"1,", 0), 0u) << rows[9];
    EXPECT_EQ(std::count(t.out.begin(), t.out.end(), '*'), 3 + 1) << t.out; // and the legend
    // ber: several targets, the target column first, npml's pair after the
    // Viterbi one, a real target's slicer columns empty.
    const Result b = Run("ber --channel lorentz --density 2 --jitter 0.02 --snr 20 --bits 1e5 "
                         "--target e2pr4,gpr3 --csv -");
    ASSERT_EQ(b.status, 0) << b.err;
    const std::vector<std::string> csv = Lines(b.out);
    ASSERT_EQ(csv.size(), 3u);
    EXPECT_EQ(csv[0], "target,snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,"
                      "viterbi_ber,npml_errors,npml_ber,union_bound");
    EXPECT_EQ(csv[1].rfind("e2pr4,20,", 0), 0u) << csv[1];
    EXPECT_NE(csv[2].find(",,,"), std::string::npos) << csv[2];
    EXPECT_EQ(csv[2].rfind("gpr3,20,", 0), 0u) << csv[2];
    // detect: the tail's rows too, a column per detector that ran.
    const Result d = Run("detect --channel erf --density 1.5 --runs 2 --csv -");
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(Lines(d.out)[0], "run,k,raw,samp,received,slicer,viterbi,npml");
    EXPECT_EQ(Lines(d.out).size(), 1u + 2 * 45);
    EXPECT_EQ(Run("eye --channel lorentz --jitter 0.05 --runs 300 --png " + P("e.png")).status, 0);
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
        {"detect --constraint mtr2-4/5 --detector slicer" + csv, 2},
        {"detect --constraint mtr2-4/5 --adc-bits 6" + csv, 2},
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
        {"eye --point sideways" + png, 2},
        {"eye --phase 2" + png, 2},
        {"eye --channel lorentz --point equalized --target gpr3" + png, 2},
        {"ber --sigma 0.5 --png " + (dir_ / "no/such/dir.png").string(), 1},
        {"ber --sigma 0.5 --csv - --png -", 2},
        {"ber --sigma 0.5 --size 200x300" + png, 2},
        {"ber --sigma 0.5 --target e4pr4" + csv, 2},
        {"ber --sigma 0.5 --target 1,0" + csv, 2},
        {"ber --sigma 0.5 --tail maybe" + csv, 2},
        {"detect --target 1,2,3,4,5,6,7,8" + csv, 2},
        {"eye --target 0,1" + png, 2},
        {"events --max-d2 0.5,1", 2},
        {"ber --sigma 0.5 --adc-bits 3" + csv, 2},
        {"ber --sigma 0.5 --adc-bits 11" + csv, 2},
        {"ber --sigma 0.5 --adc-bits 6 --target 1,0.8,-0.3" + csv, 2},
        {"ber --sigma 0.5 --adc-bits 4 --target 4,4,4,4" + csv, 2},
        {"ber --sigma 0.5 --noise-stream fast" + csv, 2},
        {"ber --sigma 0.5 --estimator mcmc" + csv, 2},
        {"ber --sigma 0.5 --estimator is --rse 0.001" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --target gpr3 --adc-bits 6" + csv, 2},
        {"ber --sigma 0.5 --density 2" + csv, 2},
        {"ber --sigma 0.5 --taps 15" + csv, 2},
        {"ber --sigma 0.5 --channel head" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --density 0.4" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --density 5.1" + csv, 2},
        {"ber --sigma 0.5 --channel erf --taps 14" + csv, 2},
        {"ber --sigma 0.5 --channel erf --taps 65" + csv, 2},
        {"ber --sigma 0.5 --channel erf --jitter 0.31" + csv, 2},
        {"ber --sigma 0.5 --channel erf --jitter -0.1" + csv, 2},
        {"ber --sigma 0.5 --channel erf --predictor 5" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --target gpr7" + csv, 2},
        {"ber --sigma 0.5 --target gpr3" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --target 2,1 --detector slicer" + csv, 2},
        {"ber --sigma 0.5 --channel lorentz --target gpr3 --detector slicer" + csv, 2},
        {"ber --sigma 0.5 --detector npml" + csv, 2},
        {"ber --sigma 0.5 --detector viterbi,bogus" + csv, 2},
        {"ber --sigma 0.5 --target e3pr4,e3pr4" + csv, 2},
        {"detect --target e2pr4,e3pr4" + csv, 2},
        {"eye --channel lorentz --target gpr3" + png, 2},
        {"targets" + csv, 2},
        {"targets --density 6" + csv, 2},
        {"targets --channel ideal --density 2" + csv, 2},
        {"targets --density 2 --png " + (dir_ / "t.png").string(), 2},
        {"code --code nosuch", 2},
        {"code --write-alist " + (dir_ / "c.alist").string(), 2},
        {"code --code " + (dir_ / "no/such.alist").string(), 2},
        {"sfr --sectors 4" + csv, 2},
        {"sfr --snr 14 --detector viterbi" + csv, 2},
        {"sfr --snr 14 --decoder bp" + csv, 2},
        {"sfr --snr 14 --normalization 1.5" + csv, 2},
        {"sfr --snr 14 --offset -1" + csv, 2},
        {"sfr --snr 14 --local 0" + csv, 2},
        {"sfr --snr 14 --global 0" + csv, 2},
        {"sfr --snr 14 --precoder maybe" + csv, 2},
        {"sfr --snr 14 --rs-t 512" + csv, 2},
        {"sfr --snr 14 --code nosuch" + csv, 2},
        {"sfr --snr 14 --channel lorentz --target gpr3" + csv, 2},
        {"sfr --snr 14 --messages int4" + csv, 2},
        {"sfr --snr 14 --decoder sp --messages int8" + csv, 2},
        {"sfr --snr 14 --channel lorentz --target 1" + csv, 2},
        {"sfr --snr 14 --target 0" + csv, 2},
        {"ber --sigma 0.5 --target 1" + csv, 2},
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
    const std::string help = Run("--help").out;
    EXPECT_NE(help.find("10 log10(E / sigma^2)"), std::string::npos);
    EXPECT_NE(help.find("e2pr4  1,2,0,-2,-1"), std::string::npos) << help;
    EXPECT_EQ(Run("--version").out, "quorvane-lab " QUORVANE_VERSION_TEXT "\n");
    // A standard output that cannot be written is a failure, not a success.
    const int full = std::system(QUORVANE_LAB " --version >/dev/full 2>/dev/null");
    EXPECT_TRUE(WIFEXITED(full) && WEXITSTATUS(full) == 1) << full;
}

TEST_F(Lab, CodesAreListedReportedAndWrittenAsAlist) {
    EXPECT_EQ(Lines(Run("code").out).size(), 2u);
    const std::string alist = (dir_ / "c.alist").string();
    const Result r = Run("code --code sector512 --write-alist " + alist);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out)[0], "n 4608");
    EXPECT_EQ(Lines(r.out)[2], "k 4096");
    // The file reads back as the same code.
    EXPECT_EQ(Run("code --code " + alist).out, r.out);
    // A broken file is refused with the line that is wrong.
    std::ofstream(dir_ / "bad.alist") << "3 2\n2 3\n1 2 1\n2 2\n";
    const Result bad = Run("code --code " + (dir_ / "bad.alist").string());
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("bad.alist: line "), std::string::npos) << bad.err;
}

// Each code at the same SNR: its constrained distance, and the detection SNR
// d2min / sigma^2 (E2PR4's energy is 10, so at 16 dB sigma^2 = 10^-0.6).
TEST_F(Lab, ConstraintsRowsCarryEachCodesDistance) {
    const Result r = Run("constraints --target e2pr4 --snr 16 --bits 1e4 --csv -");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "constraint,rate,d2min,detection_snr_db,snr_user_db,sigma,user_bits,"
                       "viterbi_user_errors,viterbi_user_ber");
    const char* starts[] = {"none,1,6,13.7815125,16,", "mtr2-4/5,0.8,10,16,16.9691001,",
                            "tvmtr-8/9,0.888888889,10,16,16.5115252,",
                            "rll-16/17,0.941176471,6,13.7815125,16.2632894,"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rows[i + 1].rfind(starts[i], 0), 0u) << rows[i + 1];
    const struct {
        const char* args;
        const char* error;
    } refused[] = {
        {"--snr 16 --density 2", "the ideal channel takes no --density"},
        {"--snr 16 --channel lorentz", "--density is required"},
        {"--channel lorentz --density 2", "--sigma or --snr"},
        {"--snr 16 --detector slicer", "not by slicer"},
        {"--snr 16 --constraint mtr2-4/5", "--constraint"},
        {"--snr 16 --png x.png", "a density range"},
    };
    for (const auto& c : refused) {
        const Result bad = Run(std::string("constraints ") + c.args);
        EXPECT_EQ(bad.status, 2) << c.args;
        EXPECT_NE(bad.err.find(c.error), std::string::npos) << c.args << ": " << bad.err;
    }
}

TEST_F(Lab, PicturesHaveTheAskedSize) {
    const struct {
        std::string args;
        int width, height;
    } cases[] = {
        {"eye --runs 2000 --sigma 0 --size 400x301 --png " + P("eye.png"), 400, 301},
        {"eye --runs 300 --uis 3 --png -", 560, 360},
        {"eye --runs 100 --phase 0.4 --freq-offset 200 --size 400x300 --png -", 800, 300},
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
    engine::EyeGeometry g;
    ASSERT_EQ(engine::FitEyePicture(400, 301, 2, engine::EyeRange{}, g), "");
    const QImage eye(QString::fromStdString(P("eye.png")));
    const int x = engine::EyeMargins::left + g.PointColumn(10);
    std::vector<int> lit;
    for (int y = engine::EyeMargins::top; y < engine::EyeMargins::top + g.height; ++y) {
        if ((eye.pixel(x, y) & 0xFFFFFF) != 0) lit.push_back(y);
    }
    std::vector<int> levels;
    for (int l = 6; l >= -6; --l)
        levels.push_back(engine::EyeMargins::top + g.height - 1 - g.LevelRow(l));
    EXPECT_EQ(lit, levels);
    // The time axis's tick for the sampling instant sits under that column,
    // five pixels of ink with paper on either side.
    const int below = engine::EyeMargins::top + g.height;
    for (int dy = 0; dy < 5; ++dy) EXPECT_EQ(eye.pixel(x, below + dy) & 0xFFFFFF, 0x202020u) << dy;
    EXPECT_EQ(eye.pixel(x - 1, below + 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(eye.pixel(x + 1, below + 2) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(Lab, TheEqualizedEyeOfTheIdealChannelIsTheReadbacksFile) {
    // On the ideal channel --point equalized is the readback's very picture;
    // on a head it is another, at the target's levels.
    const struct {
        const char* args;
        bool same;
    } cases[] = {{"--runs 500 --sigma 0.2", true},
                 {"--runs 300 --target pr4 --uis 3", true},
                 {"--runs 300 --channel lorentz --density 2.5 --target epr4", false}};
    for (const auto& c : cases) {
        const std::string args = std::string("eye ") + c.args + " --png ";
        const Result a = Run(args + P("a.png"));
        const Result b = Run(args + P("b.png") + " --point equalized");
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(Slurp(P("a.png")) == Slurp(P("b.png")), c.same) << c.args;
    }
}

TEST_F(Lab, CtrlCKeepsTheFinishedPoints) {
    // The first point ends on errors at once, the second would run for hours.
    // SIGTERM, which a scheduler sends at a job's time limit, does the same.
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        const pid_t pid =
            Start("ber --sigma 3,0.05 --errors 100 --bits 1e13 --threads 2 --csv " + P("ber.csv"));
        for (int i = 0; i < 600 && Lines(Slurp(P("out.txt"))).size() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(pid, signal);
        const Result r = Wait(pid);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.err, std::string("quorvane-lab: stopped by ") +
                             (signal == SIGINT ? "Ctrl-C" : "SIGTERM") + " after 1 of 2 points\n");
        EXPECT_EQ(Lines(r.out).size(), 2u) << r.out;
        const std::vector<std::string> csv = Lines(Slurp(P("ber.csv")));
        ASSERT_EQ(csv.size(), 2u);
        EXPECT_EQ(csv[1].rfind("4.92915522,3,", 0), 0u) << csv[1];
        EXPECT_EQ(Files(), std::vector<std::string>{"ber.csv"});
        fs::remove(P("ber.csv"));
    }

    // The eye stops between chunks and writes what it has.
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
