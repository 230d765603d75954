// The application object: forms, the loop, and the error box.
#include "app_fixture.h"
#include "platform/application.h"
#include "platform/widgets.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <stdexcept>

namespace {

using namespace platform;
using platform_test::GuiTest;
using platform_test::Shown;

FormLayout SmallLayout() {
    FormLayout l;
    l.caption = "t";
    l.clientWidth = 200;
    l.clientHeight = 100;
    return l;
}

// A window with a button whose handler fails on request.
struct TestForm : Form {
    TestForm() : Form(SmallLayout()), button(*this) {
        button.SetBounds(10, 10, 75, 25);
        button.OnClick = [this] {
            ++clicks;
            if (fail) throw std::runtime_error("Range check error");
        };
    }
    Button button;
    int clicks = 0;
    bool fail = true;
};

class Throwing : public QObject {
  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("thrown from an event.");
        return QObject::event(e);
    }
};

class ApplicationTest : public GuiTest {};

TEST_F(ApplicationTest, ErrorBoxTextEndsInOneFullStopUnderTheProgramsName) {
    App().ShowMessageText("Division by zero");
    App().ShowMessageText("Already complete.");
    App().ShowException(std::runtime_error(""));
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[0].text, "Division by zero.");
    EXPECT_EQ(shown_[1].text, "Already complete.");
    EXPECT_EQ(shown_[2].text, ".");
    EXPECT_EQ(App().Title(), "test_platform");
    EXPECT_EQ(shown_[0].caption, "test_platform");
}

TEST_F(ApplicationTest, HandlerExceptionIsShownAndTheLoopGoesOn) {
    TestForm form;
    form.Show();
    form.button.Click();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Range check error.");

    // A real click through the event loop, then the next event still runs.
    QTest::mouseClick(form.button.Native(), Qt::LeftButton);
    EXPECT_EQ(form.clicks, 2);
    EXPECT_EQ(shown_.size(), 2u);
    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    App().ProcessEvents();
    EXPECT_TRUE(later);
}

TEST_F(ApplicationTest, ExceptionFromAnyEventIsCaughtAtDispatch) {
    Throwing target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    App().ProcessEvents();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "thrown from an event.");
}

// Start-up through the application object, each test with its own.
class StartUp : public ::testing::Test {
  protected:
    void SetUp() override {
        Application::SetErrorPresenter([this](const std::string& c, const std::string& t) {
            shown_.push_back({c, t});
        });
    }
    void TearDown() override { Application::SetErrorPresenter(nullptr); }
    std::vector<Shown> shown_;
};

struct Tracker {
    static inline std::vector<std::string> events;
};

struct NamedForm : Form {
    explicit NamedForm(std::string n) : Form(SmallLayout()), name(std::move(n)) {}
    ~NamedForm() override {
        Tracker::events.push_back(name + (QApplication::instance() ? " with app" : " without"));
    }
    std::string name;
};
struct FirstForm : NamedForm {
    static inline FirstForm* global = nullptr;
    bool referenceSetInConstructor = false;
    FirstForm() : NamedForm("first") { referenceSetInConstructor = global == this; }
};
struct SecondForm : NamedForm {
    SecondForm() : NamedForm("second") {
        OnCreate = [] { throw std::runtime_error("Creation failed"); };
    }
};
struct BrokenForm : NamedForm {
    static inline BrokenForm* global = nullptr;
    BrokenForm() : NamedForm("broken") { throw std::runtime_error("no resources"); }
};

TEST_F(StartUp, CreateFormSetsTheReferenceFirstAndTheFirstFormIsMain) {
    Tracker::events.clear();
    {
        Application app(platform_test::gArgc, platform_test::gArgv);
        app.CreateForm(FirstForm::global);
        ASSERT_NE(FirstForm::global, nullptr);
        EXPECT_TRUE(FirstForm::global->referenceSetInConstructor);

        SecondForm* second = nullptr;
        app.CreateForm(second); // its creation event fails: shown, form kept
        ASSERT_NE(second, nullptr);
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].text, "Creation failed.");

        EXPECT_THROW(app.CreateForm(BrokenForm::global), std::runtime_error);
        EXPECT_EQ(BrokenForm::global, nullptr);

        // Closing a form that is not the main one does not end the loop.
        bool stillRunning = false;
        QTimer::singleShot(0, [&] {
            second->Native()->close();
            QTimer::singleShot(0, [&] {
                stillRunning = true;
                FirstForm::global->Native()->close();
            });
        });
        EXPECT_EQ(app.Run(), 0);
        EXPECT_TRUE(stillRunning);
        FirstForm::global = nullptr;
    }
    // "broken" died in its constructor; the others go last made first,
    // while the toolkit still exists.
    EXPECT_EQ(Tracker::events,
              (std::vector<std::string>{"broken with app", "second with app", "first with app"}));
}

TEST_F(StartUp, RunApplicationEndsWithZeroWhenTheMainFormCloses) {
    FirstForm::global = nullptr;
    const int result =
        RunApplication(platform_test::gArgc, platform_test::gArgv, [](Application& app) {
            app.CreateForm(FirstForm::global);
            QTimer::singleShot(0, [] { FirstForm::global->Native()->close(); });
        });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(shown_.empty());
    FirstForm::global = nullptr;
}

TEST_F(StartUp, RunApplicationShowsAnEscapedErrorAndReportsFailure) {
    const int result = RunApplication(platform_test::gArgc, platform_test::gArgv, [](Application&) {
        throw std::runtime_error("Out of memory");
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Out of memory.");
    EXPECT_EQ(shown_[0].caption, "test_platform");
}

} // namespace
