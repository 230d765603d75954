// How long the lab window's event loop can be kept from the user: the
// window at 1024 x 700 with its eye drawing and an error-rate sweep running,
// the SNR slider driven through 50 values by key presses, as a user holding
// Page Up and Page Down does. Every event the application processes is
// stamped, on the wall clock and on the thread's CPU clock; the longest gap
// between two stamps is the longest the window could not answer, and its CPU
// time how much of it was the window's own work (on a shared machine the
// rest is other processes holding the cores). A 1 ms timer keeps the loop
// from sleeping, so an idle loop shows as gaps of about 1 ms. Not a test:
// script/bench runs it and shows the figure beside its target (16 ms).
// With --idle neither the eye nor the sweep runs: the same drive's baseline
// on the same machine. With --head (after --idle, or alone) the channel is an
// erf head at density 2 with jitter 0.05, the dearest to design: every slider
// step designs its equalizer and predictor anew on a worker.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "labwindow/lab_window.h"

namespace {

long long ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

class Stamps : public QObject {
  public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (on) {
            wall.push_back(clock.nsecsElapsed());
            cpu.push_back(ThreadCpuNs());
            what.push_back({receiver->metaObject()->className(), event->type()});
        }
        return false;
    }
    QElapsedTimer clock;
    std::vector<long long> wall, cpu;
    std::vector<std::pair<const char*, int>> what;
    bool on = false;
};

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    bool idle = false, head = false;
    for (int i = 1; i < argc; ++i) {
        idle = idle || std::string(argv[i]) == "--idle";
        head = head || std::string(argv[i]) == "--head";
    }
    QApplication app(argc, argv);
    labwindow::LabWindow window{QString()};
    window.resize(1024, 700);
    window.show();
    QApplication::processEvents();
    window.WaitForBlocks();
    // A sweep that outlasts the drive, then the eye in view.
    labmodel::LabSettings busy = window.panel->Settings();
    busy.sweepBits = 1'000'000'000;
    busy.sweepErrors = 1'000'000'000;
    if (head) {
        busy.channel.chain.head = channel::HeadKind::kErf;
        busy.channel.chain.density = 2;
        busy.channel.chain.jitter = 0.05;
    }
    window.panel->Load(busy);
    if (head) {
        emit window.panel->channelChanged();
        window.WaitForBlocks();
    }
    if (!idle) {
        window.StartSweep();
        window.tabs->setCurrentIndex(labwindow::LabWindow::kEyeTab);
    }

    Stamps stamps;
    stamps.clock.start();
    app.installEventFilter(&stamps);
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(1);

    constexpr int kValues = 50;
    int sent = 0, eyeFrames = 0;
    bool busyToTheEnd = false;
    const labmodel::EyeFrame* lastFrame = nullptr;
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (window.eye->Frame() != lastFrame) ++eyeFrames, lastFrame = window.eye->Frame();
        if (sent == 0) stamps.on = true;
        if (sent == kValues) {
            keys.stop();
            QTimer::singleShot(300, &app, [&] {
                stamps.on = false;
                busyToTheEnd = window.sweep->Running() && window.RunningJobs() >= 2;
                QApplication::quit();
            });
            return;
        }
        const Qt::Key key = sent % 2 == 0 ? Qt::Key_PageUp : Qt::Key_PageDown;
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(window.panel->snr,
                                        new QKeyEvent(type, key, Qt::NoModifier));
        ++sent;
    });
    // The eye and the sweep are under way before the first press.
    QTimer::singleShot(500, &app, [&] { keys.start(40); });
    QApplication::exec();

    double longest = 0, longestCpu = 0, cpuOfLongest = 0;
    std::vector<double> gaps;
    std::size_t slowest = 0;
    for (std::size_t i = 1; i < stamps.wall.size(); ++i) {
        const double gap = (stamps.wall[i] - stamps.wall[i - 1]) / 1e6;
        const double cpu = (stamps.cpu[i] - stamps.cpu[i - 1]) / 1e6;
        gaps.push_back(gap);
        if (gap > longest) longest = gap, cpuOfLongest = cpu;
        if (cpu > longestCpu) longestCpu = cpu, slowest = i - 1;
    }
    std::sort(gaps.begin(), gaps.end());
    std::printf("gap_ms %.2f\ngap_cpu_ms %.2f\np99_ms %.2f\nlongest_cpu_ms %.2f\n"
                "slowest_event %s/%d\nevents %zu\nsnr_values %d\neye_frames %d\n"
                "eye_and_sweep_running %d\n",
                longest, cpuOfLongest, gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100], longestCpu,
                stamps.what.empty() ? "-" : stamps.what[slowest].first,
                stamps.what.empty() ? 0 : stamps.what[slowest].second, stamps.wall.size(), sent,
                eyeFrames, busyToTheEnd ? 1 : 0);
    return 0;
}
