#pragma once
// One application and one main window for the whole test binary, created
// through the program's own start-up path under the off-screen platform.
#include "channel/random.h"
#include "display/form1.h"
#include "display/startup.h"
#include "platform/application.h"

#include <QApplication>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>

namespace testing_window {

inline platform::Application& App() {
    static int argc = 1;
    static char name[] = "quorvane";
    static char* argv[] = {name, nullptr};
    static platform::Application* app = [] {
        auto* a = new platform::Application(argc, argv);
        display::CreateMainWindow(*a);
        display::Form1->Show();
        a->ProcessEvents();
        return a;
    }();
    return *app;
}

inline display::TForm1& Window() {
    App();
    return *display::Form1;
}

using Raster = std::array<std::uint8_t, 600 * 400>;

// The plot bitmap as it stands, indexed [row * 600 + column], row 0 at the bottom.
inline Raster Plot() {
    Raster r{};
    const raster::RowTable rt = Window().xmg.RowTable(0);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x) r[y * 600 + x] = rt[y][x];
    return r;
}

inline int At(const Raster& r, int x, int y) {
    return r[y * 600 + x];
}

} // namespace testing_window
