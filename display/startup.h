#pragma once
// How the program starts: the random source is seeded once, then the main
// window is created through the application object.
namespace platform {
class Application;
}

namespace display {

// How every caller that shows the window starts it (the program, the
// snapshot tool, the start-up probe and the tests): seeds the random source,
// then creates Form1 through the application.
void CreateMainWindow(platform::Application& app);

// The whole program: initialise, create the window, run the loop.
// 0 after a normal close, 1 after an error escaped start-up or the loop.
// --help and --version print and return 0 without opening a window; without
// a display the program says so on standard error and returns 1.
int Main(int argc, char** argv);

} // namespace display
