#pragma once
// The application object: owns the forms it creates, runs the event loop,
// and shows exceptions in a modal error box. An exception thrown by an event
// handler is shown and the loop goes on.
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace platform {

class Form;

class Application {
  public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    static Application* Instance();

    // Creates a form of class T. The reference is set before T's constructor
    // runs and cleared again if construction fails; afterwards the form's
    // creation event runs (an exception there is shown and the form still
    // comes up). The first form created becomes the main form.
    template <class T> void CreateForm(T*& reference) {
        void* memory = ::operator new(sizeof(T));
        reference = static_cast<T*>(memory);
        T* form = nullptr;
        try {
            form = new (memory) T();
        } catch (...) {
            reference = nullptr;
            ::operator delete(memory);
            throw;
        }
        Adopt(std::unique_ptr<Form>(form));
    }

    // Shows the main form and dispatches events until it is closed.
    int Run();
    void ProcessEvents();

    // The error box's caption: the executable's file name unless set.
    std::string Title() const;

    void ShowException(const std::exception& error);
    void ShowMessageText(const std::string& message);

    // Who shows the error box; tests replace it to see what would be shown.
    using ErrorPresenter = std::function<void(const std::string& caption, const std::string& text)>;
    static void SetErrorPresenter(ErrorPresenter presenter);

  private:
    void Adopt(std::unique_ptr<Form> form);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// For a program that draws without a screen: the off-screen platform unless
// QT_QPA_PLATFORM names another and, outside a desktop session, a private
// runtime folder for this run (the toolkit would warn about a missing one),
// removed again at the end, also when a signal handled by
// InstallCleanupHandlers ends the run. Create it before the application object.
class HeadlessEnvironment {
  public:
    HeadlessEnvironment();
    ~HeadlessEnvironment();
    HeadlessEnvironment(const HeadlessEnvironment&) = delete;
    HeadlessEnvironment& operator=(const HeadlessEnvironment&) = delete;

  private:
    std::string runtimeDir_;
};

// Whether the toolkit has somewhere to open a window: the session's display
// (DISPLAY, WAYLAND_DISPLAY), or a platform or display the user chose
// (QT_QPA_PLATFORM, or -platform or -display among the arguments), which is
// then the toolkit's to start or to refuse.
bool HasDisplay(int argc, char** argv);

// The guarded entry: initialise, let startUp create the forms, run the loop.
// An exception escaping startUp or the loop is shown in the error box and the
// result is 1; a normal close gives 0. A platform that cannot start (the
// toolkit's message says why) ends the program with status 1 too, here or in
// any Application's constructor.
int RunApplication(int& argc, char** argv, const std::function<void(Application&)>& startUp);

} // namespace platform
