// Start-up time: from the moment the caller started this process (its clock
// reading in QUORVANE_T0_NS, nanoseconds of CLOCK_REALTIME) to the end of the
// main window's first paint. Starts exactly as the program does, on the
// off-screen platform unless another is chosen, prints the milliseconds and
// closes the window.
#include "display/form1.h"
#include "display/startup.h"
#include "platform/application.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

} // namespace

int main(int argc, char** argv) {
    const char* t0Text = std::getenv("QUORVANE_T0_NS");
    const long long t0 = t0Text != nullptr ? std::atoll(t0Text) : NowNs();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return platform::RunApplication(argc, argv, [t0](platform::Application& app) {
        display::CreateMainWindow(app);
        display::TForm1& form = *display::Form1;
        form.AfterNextPaint([t0, &form] {
            std::printf("%.3f\n", (NowNs() - t0) / 1e6);
            form.Close();
        });
    });
}
