#include "platform/application.h"

#include "console/output_file.h"
#include "platform/widgets.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace platform {

namespace {

Application* gInstance = nullptr;
Application::ErrorPresenter gPresenter;

void DefaultPresenter(const std::string& caption, const std::string& text) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QString::fromStdString(caption),
                          QString::fromStdString(text), QMessageBox::Ok);
}

// The toolkit's application with one change: an exception thrown while an
// event is handled is shown in the error box and the loop goes on.
class GuardedApplication : public QApplication {
  public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            if (gInstance != nullptr) gInstance->ShowException(error);
        } catch (...) {
            if (gInstance != nullptr) gInstance->ShowMessageText("Unknown exception");
        }
        return false;
    }
};

// The toolkit ends the process with abort() when no platform plugin starts:
// a display that is not there, a QT_QPA_PLATFORM that names none. That is a
// setting of the user's, not a crash: while the toolkit starts, its fatal
// message is shown as it is, what this run had begun to write is removed, and
// the program ends with status 1.
QtMessageHandler gToolkitHandler = nullptr;

void StartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    gToolkitHandler(type, context, message);
    if (type == QtFatalMsg) {
        console::RemovePendingNow();
        std::fflush(stderr);
        std::_Exit(1);
    }
}

class StartUpGuard {
  public:
    StartUpGuard() { gToolkitHandler = qInstallMessageHandler(StartUpMessage); }
    ~StartUpGuard() { qInstallMessageHandler(gToolkitHandler); }
    StartUpGuard(const StartUpGuard&) = delete;
    StartUpGuard& operator=(const StartUpGuard&) = delete;
};

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

} // namespace

struct Application::Impl {
    std::unique_ptr<GuardedApplication> qt;
    std::vector<std::unique_ptr<Form>> forms; // in creation order
    Form* mainForm = nullptr;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
    {
        const StartUpGuard guard;
        impl_->qt = std::make_unique<GuardedApplication>(argc, argv);
    }
    // The loop ends when the main form closes, not when the last window does.
    QApplication::setQuitOnLastWindowClosed(false);
    gInstance = this;
}

Application::~Application() {
    // Forms before the toolkit, the last made first.
    while (!impl_->forms.empty()) impl_->forms.pop_back();
    impl_->mainForm = nullptr;
    impl_->qt.reset();
    if (gInstance == this) gInstance = nullptr;
}

Application* Application::Instance() {
    return gInstance;
}

void Application::Adopt(std::unique_ptr<Form> form) {
    Form* raw = form.get();
    impl_->forms.push_back(std::move(form));
    if (impl_->mainForm == nullptr) {
        impl_->mainForm = raw;
        raw->SetClosedHook([] { QCoreApplication::exit(0); });
    }
    if (raw->OnCreate) {
        try {
            raw->OnCreate();
        } catch (const std::exception& error) {
            ShowException(error);
        } catch (...) {
            ShowMessageText("Unknown exception");
        }
    }
}

int Application::Run() {
    if (impl_->mainForm == nullptr) return 0;
    impl_->mainForm->Show();
    return QApplication::exec();
}

void Application::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string Application::Title() const {
    return QCoreApplication::applicationName().toStdString();
}

void Application::ShowException(const std::exception& error) {
    ShowMessageText(error.what());
}

void Application::ShowMessageText(const std::string& message) {
    std::string text = message;
    if (text.empty() || text.back() != '.') text += '.';
    if (gPresenter) {
        gPresenter(Title(), text);
    } else {
        DefaultPresenter(Title(), text);
    }
}

void Application::SetErrorPresenter(ErrorPresenter presenter) {
    gPresenter = std::move(presenter);
}

bool HasDisplay(int argc, char** argv) {
    if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return true;
    // The toolkit's own options, with one dash or two; each takes the next
    // argument (-display is xcb's).
    for (int i = 1; i + 1 < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') continue;
        if (arg[1] == '-') ++arg;
        if (std::strcmp(arg, "-platform") == 0 || std::strcmp(arg, "-display") == 0) return true;
    }
    return false;
}

int RunApplication(int& argc, char** argv, const std::function<void(Application&)>& startUp) {
    std::unique_ptr<Application> app;
    try {
        app = std::make_unique<Application>(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    // A failure is never reported as success: an error that ends the
    // program gives exit code 1.
    try {
        startUp(*app);
        return app->Run();
    } catch (const std::exception& error) {
        app->ShowException(error);
    } catch (...) {
        app->ShowMessageText("Unknown exception");
    }
    return 1;
}

HeadlessEnvironment::HeadlessEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        // In TMPDIR when it is set, as other programs' temporary files are.
        std::string pattern = std::filesystem::temp_directory_path() / "quorvane-runtime-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            runtimeDir_ = pattern;
            setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
            console::RemoveOnSignal(runtimeDir_, true); // an interrupted run leaves it behind too
        }
    }
}

HeadlessEnvironment::~HeadlessEnvironment() {
    if (runtimeDir_.empty()) return;
    rmdir(runtimeDir_.c_str());
    console::RemoveOnSignal(runtimeDir_, false);
}

} // namespace platform
