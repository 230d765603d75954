// The lab window's models without Qt: the block view against the command
// line's `detect` and `ber`, the trellis against the detector, the events
// against the paths they come from, and the threads the work runs on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <tuple>
#include <unistd.h>

#include "channel/bounds.h"
#include "choices/ber_table.h"
#include "labwindow/model/block.h"
#include "labwindow/model/display_check.h"
#include "labwindow/model/eye.h"
#include "labwindow/model/jobs.h"
#include "labwindow/model/sectors.h"
#include "labwindow/model/sweep.h"
#include "labwindow/model/timing.h"
#include "tests/program_fixture.h"

namespace {

using labmodel::BlockSource;
using labmodel::BlockView;
using labmodel::LabSettings;

class LabModel : public testsupport::ProgramTest {
  protected:
    LabModel() : ProgramTest(QUORVANE_LAB, "qv-labmodel-") {}
};

std::string Text(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

using Head = std::optional<channel::HeadKind>;

LabSettings At(double snrDb, std::uint64_t seed = 1, Head head = {}, double density = 2,
               const char* target = "e3pr4") {
    LabSettings s;
    s.snrDb = snrDb;
    s.seed = seed;
    s.channel.chain.head = head;
    s.channel.chain.density = density;
    EXPECT_EQ(labmodel::SetTarget(s, target), "");
    return s;
}

TEST_F(LabModel, TheBlockViewDecidesAsDetectDoes) {
    // The command line's CSV row by row: run,k,raw,samp,received, the detectors (on a head
    // received is the equalizer's output); the noisy trace through every ring.
    using K = channel::HeadKind;
    const std::tuple<const char*, LabSettings, const char*> cases[] = {
        {"", At(17, 5), "slicer,viterbi"},
        {"--channel lorentz --density 2.5", At(17, 5, K::kLorentz, 2.5), "slicer,viterbi,npml"},
        {"--channel erf --density 1.5 --jitter 0.05 --taps 11 --predictor 3 --target "
         "1,0.8,-0.3",
         At(17, 5, K::kErf, 1.5, "1,0.8,-0.3"), "viterbi,npml"}};
    for (const auto& [options, settings, detectors] : cases) {
        const testsupport::Result r =
            Run(std::string("detect --runs 25 --snr 17 --seed 5 --csv - ") + options);
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream csv(r.out);
        std::string line;
        std::getline(csv, line);
        ASSERT_EQ(line, std::string("run,k,raw,samp,received,") + detectors);
        LabSettings s = settings;
        engine::ChainSettings& c = s.channel.chain;
        if (c.head == K::kErf) c.jitter = 0.05, c.taps = 11, c.predictor = 3;
        BlockSource source(s);
        int rows = 0, wrong = 0;
        for (int run = 1; run <= 25; ++run) {
            const BlockView v = source.Next();
            ASSERT_EQ(v.run, static_cast<std::uint64_t>(run));
            ASSERT_EQ(v.head, s.Head());
            for (int k = 0; k < v.bits + v.tail; ++k, ++rows) {
                ASSERT_TRUE(std::getline(csv, line));
                std::string want = std::to_string(run) + "," + std::to_string(k) + ",";
                if (k < v.bits) want += std::to_string(v.raw[k]);
                want += "," + Text(v.clean[k]) + "," + Text(v.received[k]);
                for (std::size_t d = 0; d < v.kinds.size(); ++d)
                    want += "," + (k < v.bits ? std::to_string(v.decided[d][k]) : std::string());
                ASSERT_EQ(line, want) << options << " run " << run;
                EXPECT_NEAR(v.noisyWave[v.SamplePoint(k)], v.rings[k], 2e-5) << k;
            }
            for (int e : v.errors) wrong += e;
        }
        EXPECT_EQ(rows, 25 * (40 + s.Target().Memory())) << options;
        EXPECT_GT(wrong, 0) << options; // at 17 dB the detectors err now and then
    }
}

TEST(LabModelTrellis, TheDecidedPathIsTheDetectorsAndEventsAreItsDifference) {
    // Low SNRs, so that blocks have error events; every target that has a
    // tail-ending trellis in the window.
    int events = 0, inTable = 0, beyond = 0;
    for (const char* target : {"e3pr4", "pr4", "epr4", "1,0.8,-0.3"}) {
        LabSettings s = At(11, 3);
        ASSERT_EQ(labmodel::SetTarget(s, target), "");
        s.blockBits = 120;
        BlockSource source(s);
        const std::size_t viterbi = s.Target().HasSlicer() ? 1 : 0;
        const std::vector<channel::ErrorEvent> table = labmodel::EventsTable(s.Target());
        for (int run = 0; run < 30; ++run) {
            const BlockView v = source.Next();
            const labmodel::TrellisView& t = v.trellis;
            ASSERT_EQ(v.kinds[viterbi], detectors::Kind::kViterbi);
            ASSERT_EQ(t.survivors.raw, v.decided[viterbi]) << target << " run " << run;
            ASSERT_EQ(labmodel::StatesOf(t.survivors.prec, t.memory, t.steps), t.survivors.path);
            // decided - true, bit by bit: inside an event its (possibly
            // negated) entries, outside every event zero.
            std::vector<int> covered(static_cast<std::size_t>(t.steps), 0);
            int raw = 0;
            for (const labmodel::PathEvent& ev : t.events) {
                const int sign = ev.negated ? -1 : 1;
                ASSERT_EQ(static_cast<int>(ev.event.e.size()), ev.last - ev.first + 1);
                for (int k = ev.first; k <= ev.last; ++k) {
                    const int d =
                        (t.survivors.path[k] >> (t.memory - 1)) - (t.truth[k] >> (t.memory - 1));
                    ASSERT_EQ(d, sign * ev.event.e[k - ev.first]) << target << " k " << k;
                    covered[k] = 1;
                }
                EXPECT_EQ(ev.event.d2, channel::MakeErrorEvent(s.Target(), ev.event.e).d2);
                if (ev.last + t.memory < v.bits) {
                    EXPECT_EQ(ev.rawErrors, ev.event.rawBitErrors);
                }
                if (ev.tableRow >= 0) {
                    EXPECT_EQ(table[ev.tableRow].e, ev.event.e);
                    EXPECT_EQ(table[ev.tableRow].d2, ev.event.d2);
                    ++inTable;
                } else {
                    EXPECT_TRUE(ev.event.d2 > 2 * s.Target().D2Min() || ev.event.e.size() > 16);
                    ++beyond;
                }
                raw += ev.rawErrors;
                ++events;
            }
            for (int k = 0; k < t.steps; ++k) {
                if (!covered[k]) {
                    ASSERT_EQ(t.survivors.path[k] >> (t.memory - 1), t.truth[k] >> (t.memory - 1))
                        << k;
                }
            }
            EXPECT_EQ(raw, v.errors[viterbi]) << target << " run " << run;
        }
    }
    EXPECT_GT(events, 50);
    EXPECT_GT(inTable, 20);
    EXPECT_GT(beyond, 0);
}

TEST(LabModelBlocks, OneBlockAtAnotherSnrAndUnderOtherSettings) {
    BlockSource source(At(20, 4));
    source.Next();
    source.Next();
    const BlockView third = source.Next();
    const BlockView louder = source.AtSnr(14);
    ASSERT_EQ(louder.run, 3u);
    EXPECT_EQ(louder.raw, third.raw);
    const double scale = louder.sigma / third.sigma; // 10^(6/20)
    EXPECT_NEAR(scale, 1.9952623149688795, 1e-12);
    for (std::size_t k = 0; k < third.received.size(); ++k)
        EXPECT_NEAR(louder.received[k] - louder.clean[k],
                    scale * (third.received[k] - third.clean[k]), 2e-5);
    // The same run, made anew at 14 dB: the very same samples.
    BlockSource again = BlockSource::Replay(At(14, 4), 2);
    EXPECT_EQ(again.Next().received, louder.received);
    // The waveforms pass through the samples, the noisy one through the
    // received ones, at every sampling instant of a long block too.
    LabSettings longer = At(14, 4);
    longer.blockBits = 300;
    const BlockView l = BlockSource(longer).Next();
    ASSERT_EQ(l.cleanWave.size(), static_cast<std::size_t>(10 * (305 - 1 + 4) + 1));
    for (const BlockView* v : {&louder, &l})
        for (int k = 0; k < v->bits + v->tail; ++k) {
            EXPECT_NEAR(v->cleanWave[v->SamplePoint(k)], v->clean[k], 2e-5) << k;
            EXPECT_NEAR(v->noisyWave[v->SamplePoint(k)], v->received[k], 2e-5) << k;
        }
    // What hovering shows, pinned at this seed: a data sample, and one of
    // the tail.
    EXPECT_EQ(labmodel::HoverText(louder, 2),
              "k 2: received -0.392, ideal 0; raw 0, slicer 0, Viterbi 0");
    const std::string tail = labmodel::HoverText(louder, 42);
    EXPECT_EQ(tail.substr(tail.find(" (")), " (the tail: no data bit)");
}

TEST_F(LabModel, TheSweepCountsAndWritesAsBerDoes) {
    // On a head each point's channel is its own, npml has columns; a code adds the user bits'.
    const std::pair<const char*, const char*> cases[] = {
        {"", "none"}, {" --channel lorentz --density 2.5", "none"}, {"", "mtr2-4/5"}};
    for (const auto& [head, code] : cases) {
        const testsupport::Result r =
            Run("ber --snr 14:16:2 --bits 131072 --errors 50 --threads 2 --seed 6 --csv " +
                P("cli.csv") + head + " --constraint " + code);
        ASSERT_EQ(r.status, 0) << r.err;
        LabSettings s = *head ? At(0, 6, channel::HeadKind::kLorentz, 2.5) : At(0, 6);
        ASSERT_EQ(labmodel::SetOption(s, "constraint", code), "");
        s.sweepRange = "14:16:2";
        s.sweepBits = 131072;
        s.sweepErrors = 50;
        std::vector<double> dbs;
        ASSERT_EQ(labmodel::SweepPoints(s, dbs), "");
        std::vector<engine::BerPoint> points;
        std::vector<int> progress;
        const std::atomic<bool> stop{false};
        EXPECT_EQ(labmodel::RunSweep(
                      labmodel::SweepOf(s), stop,
                      [&](const engine::BerPoint& p) { points.push_back(p); },
                      [&](const labmodel::SweepProgress& p) { progress.push_back(p.point); }),
                  2);
        std::FILE* out = std::fopen(P("window.csv").c_str(), "w");
        choices::WriteBerCsv(out, labmodel::ChoiceOf(s), points);
        std::fclose(out);
        EXPECT_EQ(testsupport::Slurp(P("window.csv")), testsupport::Slurp(P("cli.csv")));
        const std::atomic<bool> stopped{true};
        EXPECT_EQ(labmodel::RunSweep(labmodel::SweepOf(s), stopped,
                                     [&](const engine::BerPoint&) { ADD_FAILURE(); }, {}),
                  0);
    }
}

TEST(LabModelEvents, EachEventsTwoPathsAreItsDifferenceAtItsDistance) {
    for (const char* name : {"pr4", "epr4", "e2pr4", "e3pr4", "1,0.8,-0.3"}) {
        channel::Target t;
        ASSERT_EQ(channel::Target::Parse(name, t), "");
        const std::vector<channel::ErrorEvent> table = labmodel::EventsTable(t);
        ASSERT_FALSE(table.empty());
        EXPECT_EQ(table.front().d2, t.D2Min()) << name;
        for (std::size_t i = 0; i < std::min<std::size_t>(table.size(), 12); ++i) {
            const labmodel::EventPaths p = labmodel::PathsOf(t, table[i]);
            const std::size_t nu = static_cast<std::size_t>(t.Memory());
            ASSERT_EQ(p.a.size(), table[i].e.size() + 2 * nu);
            for (std::size_t k = 0; k < p.a.size(); ++k) {
                const int e = k >= nu && k < nu + table[i].e.size() ? table[i].e[k - nu] : 0;
                ASSERT_EQ(p.a[k] - p.b[k], e) << name << " " << k;
            }
            EXPECT_NEAR(p.d2, table[i].d2, 1e-12) << name << " " << i;
            EXPECT_EQ(p.statesA.back(), 0);
            EXPECT_EQ(p.statesB.back(), 0);
        }
    }
}

TEST(LabModelJobs, AStartedJobStopsTheOneBeforeAndNothingOutlivesThem) {
    labmodel::Jobs jobs;
    std::atomic<int> ended{0};
    std::atomic<int> niceness{-100};
    auto spin = [&](const std::atomic<bool>& stop) {
        niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
        while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++ended;
    };
    jobs.Start(spin);
    jobs.Start(spin);
    jobs.Start(spin);
    while (ended.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(jobs.Running(), 1);
    jobs.StopAndWait();
    EXPECT_EQ(ended.load(), 3);
    EXPECT_EQ(jobs.Running(), 0);
    EXPECT_GE(niceness.load(), labmodel::kWorkerNiceness);

    std::vector<int> order;
    {
        labmodel::SerialWorker worker;
        for (int i = 0; i < 50; ++i) worker.Post([&order, i] { order.push_back(i); });
        worker.Drain();
        EXPECT_EQ(order.size(), 50u);
        for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    }
}

TEST(LabModelDisplay, AWindowNeedsADisplayOrAPlatformChosen) {
    const struct {
        std::map<std::string, std::string> env;
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{}, {}, "neither DISPLAY nor WAYLAND_DISPLAY is set (the other commands need none)"},
        {{{"DISPLAY", ""}},
         {},
         "neither DISPLAY nor WAYLAND_DISPLAY is set (the other commands need none)"},
        {{{"DISPLAY", ":0"}}, {}, ""},
        {{{"WAYLAND_DISPLAY", "wayland-1"}}, {}, ""},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {}, ""},
        {{{"QT_QPA_PLATFORM", "xcb"}}, {}, "QT_QPA_PLATFORM is 'xcb', but DISPLAY is not set"},
        {{{"QT_QPA_PLATFORM", "xcb"}}, {"-display", ":3"}, ""},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}},
         {},
         "QT_QPA_PLATFORM is 'wayland', but WAYLAND_DISPLAY is not set"},
        {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, {}, ""},
        {{{"QT_QPA_PLATFORM", "xcb:nograb"}, {"DISPLAY", ":0"}}, {}, ""},
        {{{"DISPLAY", ":0"}}, {"--platform", "xcb"}, ""},
        {{}, {"-platform", "xcb"}, "-platform is 'xcb', but DISPLAY is not set"},
        {{}, {"-platform", "vnc"}, ""},
        {{{"XDG_RUNTIME_DIR", "/nonexistent"}},
         {},
         "neither DISPLAY nor WAYLAND_DISPLAY is set (the other commands need none)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"quorvane-lab"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        const auto env = [&c](const char* name) -> const char* {
            const auto at = c.env.find(name);
            return at == c.env.end() ? nullptr : at->second.c_str();
        };
        EXPECT_EQ(labmodel::NoDisplayReason(env, static_cast<int>(argv.size()), argv.data()),
                  c.reason)
            << (c.args.empty() ? "" : c.args.front());
    }
}

TEST(LabModelSettings, WhatThePanelChoosesBecomesTheEnginesSettings) {
    LabSettings s;
    EXPECT_EQ(labmodel::SetTarget(s, "1,0"), "'1,0' ends with 0, memory the target never uses");
    EXPECT_EQ(s.targetText, "e3pr4");
    EXPECT_EQ(labmodel::SetTarget(s, "gpr4"), "gpr4 is designed with the equalizer at each noise "
                                              "level, which the window does not draw; "
                                              "quorvane-lab ber and targets take it");
    EXPECT_EQ(s.targetText, "e3pr4");
    ASSERT_EQ(labmodel::SetTarget(s, "1,0.8,-0.3"), "");
    EXPECT_EQ(labmodel::DetectorsOf(s), std::vector<detectors::Kind>{detectors::Kind::kViterbi});
    ASSERT_EQ(labmodel::SetTarget(s, "PR4"), "");
    labmodel::Tick(s, detectors::Kind::kViterbi, false);
    EXPECT_EQ(labmodel::DetectorsOf(s), std::vector<detectors::Kind>{detectors::Kind::kSlicer});
    s.snrDb = 3;
    EXPECT_EQ(labmodel::NoiseText(s), "SNR 3.0 dB, sigma 1");
    EXPECT_EQ(labmodel::BlocksOf(s).sigma, channel::SigmaOfSnr(2, 3));
    EXPECT_EQ(labmodel::EyeOf(s).sigma, labmodel::BlocksOf(s).sigma);
    s.sweepRange = "20:10:1";
    std::vector<double> dbs;
    EXPECT_EQ(labmodel::SweepPoints(s, dbs), "'20:10:1' is reversed: TO is below FROM");
    EXPECT_TRUE(labmodel::EngineCapabilities().recordingChannel);
    EXPECT_TRUE(labmodel::EngineCapabilities().npml);
}

TEST(LabModelSettings, TheSectorsTabTakesTheTargetOneAsSfrDoesAndTheOtherTabsKeepTheirs) {
    // The text, the panel's line, the sectors' target (a refused text keeps
    // the one before), the other views' target.
    const std::tuple<const char*, const char*, std::vector<double>, const char*> cases[] = {
        {"e2pr4", "", {1, 2, 0, -2, -1}, "e2pr4"},
        {"1", "", {1}, "e2pr4"},
        {"0", "'0' is no target: its one coefficient is 0", {1}, "e2pr4"},
        {"0.5", "", {0.5}, "e2pr4"},
        {"pr4", "", {1, 0, -1}, "pr4"}};
    LabSettings s;
    labmodel::Tick(s, detectors::Find("sova")->kind, true);
    engine::SectorSettings run;
    for (const auto& [text, line, coefficients, kept] : cases) {
        EXPECT_EQ(labmodel::SetTarget(s, text), line) << text;
        EXPECT_EQ(labmodel::BlocksOf(s).chain.target.Name(), kept) << text;
        EXPECT_EQ(labmodel::TargetNote(s).empty(), coefficients.size() > 1) << text;
        ASSERT_EQ(labmodel::SectorSettingsOf(s, run), "") << text;
        EXPECT_EQ(run.chain.target.Coefficients(), coefficients) << text;
        EXPECT_EQ(run.detector, detectors::Find("sova")->kind) << text;
    }
    ASSERT_EQ(labmodel::SetTarget(s, "1"), "");
    s.channel.chain.head = channel::HeadKind::kLorentz;
    EXPECT_EQ(labmodel::SectorSettingsOf(s, run),
              "--target: a target of memory 0 (binary input on white noise) runs on the ideal "
              "channel, not behind a head");
}

TEST(LabModelSettings, AHeadsFieldsTakeWhatTheCommandLineTakesAndRefuseWithItsLines) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"density", "7", "'7' is not between 0.5 and 5"},
        {"taps", "14", "'14' is even; the equalizer has an odd number of taps"},
        {"jitter", "0.5", "'0.5' is not between 0 and 0.3"},
        {"predictor", "9", "'9' is out of range (1 ... 4)"},
        {"adc_bits", "3", "'3' is out of range (4 ... 10)"},
        {"noise_stream", "fast", "'fast' is none of serial, lanes, lanes16"},
        {"density", "2.5", ""},
        {"jitter", "0.05", ""},
        {"taps", "11", ""},
        {"predictor", "3", ""}};
    LabSettings s;
    const auto head = [&s] {
        const engine::ChainSettings& c = s.channel.chain;
        return std::make_tuple(c.density, c.jitter, c.taps, c.predictor, c.adcBits);
    };
    for (const auto& [option, text, line] : cases) {
        const auto before = head();
        EXPECT_EQ(labmodel::SetOption(s, option, text), line);
        EXPECT_TRUE(*line == 0 || head() == before) << text; // refused: nothing changes
        if (*line == 0) {
            EXPECT_EQ(labmodel::OptionText(s, option), text);
        }
    }
    using detectors::Kind;
    EXPECT_EQ(labmodel::DetectorsOf(s), (std::vector<Kind>{Kind::kSlicer, Kind::kViterbi}));
    s.channel.chain.head = channel::HeadKind::kLorentz;
    const engine::ChainSettings chain = labmodel::ChainOf(s);
    EXPECT_EQ(labmodel::ChannelText(s), "lorentz head, density 2.5, jitter 0.05, 11 taps");
    EXPECT_EQ(labmodel::DetectorsOf(s),
              (std::vector<Kind>{Kind::kSlicer, Kind::kViterbi, Kind::kNpml}));
    EXPECT_EQ(labmodel::Sigma(s), channel::SigmaOfSnr(engine::SignalEnergy(chain), s.snrDb));
    // The kept eye range is RangeOf's whatever comes in turn.
    labmodel::EyeRangeCache cache;
    for (double density : {2.5, 2.5, 3.0, 3.0}) {
        s.channel.chain.density = density;
        s.channel.chain.head = s.channel.chain.head == channel::HeadKind::kErf
                                   ? Head()
                                   : Head(channel::HeadKind::kErf);
        EXPECT_EQ(cache.Of(labmodel::ChainOf(s)).high, engine::RangeOf(labmodel::ChainOf(s)).high);
    }
}

TEST(LabModelTiming, TheTabsOptionsAreTheCommandLinesAndTrackTheBlock) {
    // Each option given, refused or taken back by the command line's parser;
    // the track is the block's, read after the preamble.
    const struct {
        const char* option;
        const char* text;
        const char* error;
        std::size_t given; // after it
    } steps[] = {{"phase", "2", "'2' is not between -1 and 1", 0},
                 {"--phase", "0.4", "", 1},
                 {"freq_offset", "200", "", 2},
                 {"ted_decisions", "fast", "'fast' is neither slicer nor viterbi", 2},
                 {"density", "2", "'density' is no timing option", 2},
                 {"phase", "", "", 1},
                 {"phase", "0.4", "", 2}};
    labmodel::TimingOptions o;
    EXPECT_FALSE(labmodel::TimingOf(o).on);
    for (const auto& step : steps) {
        EXPECT_EQ(labmodel::SetTiming(o, step.option, step.text), step.error) << step.option;
        EXPECT_EQ(o.given.size(), step.given) << step.option << " " << step.text;
    }
    // Kept in the table's order, whatever the order given.
    EXPECT_EQ(o.given.front().first, "phase");
    EXPECT_EQ(labmodel::TimingText(o, "--freq-offset"), "200");
    const channel::TimingSettings t = labmodel::TimingOf(o);
    EXPECT_TRUE(t.on);
    EXPECT_EQ(t.phase, 0.4);
    EXPECT_EQ(t.freqPpm, 200);

    LabSettings s;
    ASSERT_EQ(labmodel::SetTarget(s, "epr4"), ""); // its slicer decisions hold the loop at 26 dB
    s.blockBits = 1000;
    BlockSource source(s);
    const BlockView block = source.Next();
    const labmodel::TimingPicture none =
        labmodel::ComputeTiming(s, labmodel::TimingOptions{}, block.raw, block.run);
    EXPECT_FALSE(none.modelled);
    EXPECT_NE(labmodel::TimingLine(none).find("Timing is at its ideal instants"),
              std::string::npos);
    const labmodel::TimingPicture p = labmodel::ComputeTiming(s, o, block.raw, block.run);
    ASSERT_TRUE(p.modelled);
    EXPECT_EQ(p.dataStart, 128 + 3); // the preamble and EPR4's nu zero bits
    EXPECT_GE(p.truePhase.size(), static_cast<std::size_t>(p.dataStart + 1000));
    EXPECT_EQ(p.truePhase.size(), p.recovered.size());
    EXPECT_NEAR(p.truePhase.front(), 0.4, 1e-6);
    EXPECT_NEAR(p.truePhase.back(), 0.4 + 200e-6 * (p.truePhase.size() - 1), 1e-5);
    EXPECT_NEAR(p.start, 0.4, 0.05); // the zero-phase start
    EXPECT_EQ(p.slips, 0);
    EXPECT_LT(p.rms, 0.05);
    EXPECT_LT(std::fabs(p.truePhase.back() - p.recovered.back()), 0.05);
    EXPECT_NE(labmodel::TimingLine(p).find("Block 1 (1000 bits after a 128-bit preamble)"),
              std::string::npos)
        << labmodel::TimingLine(p);
}

TEST(LabModelTiming, TheBlockViewsRingsAreAtTheTabsRecoveredInstants) {
    // With the tab's clock the rings are its receiver's read, sample k at k + tau - theta of
    // the tab's own track; traces and detectors stay; taken back, the block's own view.
    labmodel::TimingOptions o;
    ASSERT_EQ(labmodel::SetTiming(o, "phase", "0.4") + labmodel::SetTiming(o, "freq_offset", "200"),
              "");
    for (const Head head : {Head{}, Head{channel::HeadKind::kLorentz}}) {
        LabSettings s = At(26, 1, head, 2.5, "epr4");
        s.blockBits = 200;
        BlockSource source(s);
        const BlockView plain = source.Next();
        source.SetTiming(o);
        const BlockView timed = source.Again();
        const labmodel::TimingPicture p = labmodel::ComputeTiming(s, o, plain.raw, plain.run);
        ASSERT_TRUE(timed.timed && !plain.timed);
        double squares = 0;
        for (int k = 0; k < plain.bits + plain.tail; ++k) {
            const std::size_t j = static_cast<std::size_t>(p.dataStart + k), at = j - p.dataStart;
            const double e = static_cast<double>(p.truePhase[j]) - p.recovered[j];
            EXPECT_NEAR(timed.RingTime(k), k + e, 1e-4) << k;
            EXPECT_TRUE(std::fabs(e) < 0.1 && e != 0) << k;
            squares += std::pow(timed.RingValue(k) - plain.rings[at], 2);
        }
        EXPECT_TRUE(squares > 0 && std::sqrt(squares / (plain.bits + plain.tail)) < 0.3) << squares;
        EXPECT_TRUE(timed.received == plain.received && timed.decided == plain.decided);
        source.SetTiming({});
        EXPECT_EQ(labmodel::HoverText(source.Again(), 3), labmodel::HoverText(plain, 3));
        EXPECT_NE(labmodel::HoverText(timed, 3).find("; the loop read "), std::string::npos);
    }
}

} // namespace
