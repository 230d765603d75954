#pragma once
// The lab window on Qt's off-screen platform: one application for the test
// binary, a window per test, and ways to wait for its workers.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "labwindow/lab_window.h"

namespace labtest {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_labwindow";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Processes events until `done` or three minutes have passed (a hung worker fails
// the test instead of hanging it).
inline bool Until(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 180000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Settings small enough for a test: a short eye and a short sweep.
inline labmodel::LabSettings QuickSettings() {
    labmodel::LabSettings s;
    s.eyeBlocks = 20000;
    s.sweepRange = "12:20:2";
    s.sweepBits = 200000;
    s.sweepErrors = 100;
    return s;
}

// A shown window of the given size with `settings`, its first block drawn.
inline std::unique_ptr<labwindow::LabWindow> MakeWindow(QSize size,
                                                        const labmodel::LabSettings& settings) {
    App();
    auto w = std::make_unique<labwindow::LabWindow>(QString());
    w->panel->Load(settings);
    emit w->panel->channelChanged();
    w->resize(size);
    w->show();
    QApplication::processEvents();
    w->WaitForBlocks();
    return w;
}

inline void ShowTab(labwindow::LabWindow& w, int tab) {
    w.tabs->setCurrentIndex(tab);
    QApplication::processEvents();
}

inline bool EyeDone(const labwindow::LabWindow& w) {
    const labmodel::EyeFrame* f = w.eye->Frame();
    return f != nullptr && f->image.blocks == f->goal && w.RunningJobs() == 0;
}

// 64-bit FNV-1a over width, height (four little-endian bytes each) and the
// red, green and blue of every pixel, top row first.
inline std::uint64_t Hash(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto eat = [&h](std::uint8_t b) { h = (h ^ b) * 0x100000001b3ull; };
    for (int v : {image.width(), image.height()})
        for (int i = 0; i < 4; ++i) eat(static_cast<std::uint8_t>(v >> (8 * i)));
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            eat(static_cast<std::uint8_t>(qRed(line[x])));
            eat(static_cast<std::uint8_t>(qGreen(line[x])));
            eat(static_cast<std::uint8_t>(qBlue(line[x])));
        }
    }
    return h;
}

// With QUORVANE_LAB_SHOTS set to a folder, a test's pictures are also
// written there, to be looked at.
inline void Keep(const QImage& image, const std::string& name) {
    if (const char* dir = std::getenv("QUORVANE_LAB_SHOTS"))
        image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

} // namespace labtest
