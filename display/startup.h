#pragma once
// How the program starts: the random source is seeded once, then the main
// window is created through the application object.
namespace platform {
class Application;
}

namespace display {

// Creates Form1 through the application, as the program does at start-up.
void CreateMainWindow(platform::Application& app);

// The whole program: seed, initialise, create the window, run the loop.
// 0 after a normal close, 1 after an error escaped start-up or the loop.
int Main(int argc, char** argv);

} // namespace display
