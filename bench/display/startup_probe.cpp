// Start-up time: from the moment the caller started this process (its clock
// reading in QUORVANE_T0_NS, nanoseconds of CLOCK_REALTIME) to the end of the
// main window's first paint. Starts exactly as the program does, on the
// off-screen platform unless another is chosen, prints the milliseconds and
// closes the window.
#include "channel/random.h"
#include "display/form1.h"
#include "display/startup.h"
#include "platform/application.h"

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class FirstPaint : public QObject {
  public:
    explicit FirstPaint(long long t0) : t0_(t0) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            auto* widget = static_cast<QWidget*>(watched);
            widget->removeEventFilter(this);
            // Let the paint itself finish, then take the time and close.
            QMetaObject::invokeMethod(
                widget,
                [this, widget] {
                    done_ = true;
                    std::printf("%.3f\n", (NowNs() - t0_) / 1e6);
                    widget->close();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    long long t0_;
    bool done_ = false;
};

} // namespace

int main(int argc, char** argv) {
    const char* t0Text = std::getenv("QUORVANE_T0_NS");
    const long long t0 = t0Text != nullptr ? std::atoll(t0Text) : NowNs();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    FirstPaint probe(t0);
    return platform::RunApplication(argc, argv, [&probe](platform::Application& app) {
        channel::SeedRandom(1);
        display::CreateMainWindow(app);
        display::Form1->Native()->installEventFilter(&probe);
    });
}
