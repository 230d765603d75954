#include "platform/application.h"

#include "console/output_file.h"
#include "platform/widgets.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
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

} // namespace

struct Application::Impl {
    std::unique_ptr<GuardedApplication> qt;
    std::vector<std::unique_ptr<Form>> forms; // in creation order
    Form* mainForm = nullptr;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
    impl_->qt = std::make_unique<GuardedApplication>(argc, argv);
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
