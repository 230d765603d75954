#include "display/startup.h"

#include "channel/random.h"
#include "display/form1.h"
#include "platform/application.h"

namespace display {

void CreateMainWindow(platform::Application& app) {
    channel::SeedRandom(1);
    app.CreateForm(Form1);
}

int Main(int argc, char** argv) {
    return platform::RunApplication(argc, argv, CreateMainWindow);
}

} // namespace display
