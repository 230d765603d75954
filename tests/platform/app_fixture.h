#pragma once
// One application object per test suite: the suites that need a running
// toolkit derive from GuiTest. Suites that make their own application (the
// start-up tests) do not, because only one may exist at a time.
#include "platform/application.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace platform_test {

inline int gArgc = 1;
inline char gName[] = "test_platform";
inline char* gArgv[] = {gName, nullptr};

// What the error box would have shown.
struct Shown {
    std::string caption;
    std::string text;
};

class GuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = std::make_unique<platform::Application>(gArgc, gArgv); }
    static void TearDownTestSuite() { app_.reset(); }

    void SetUp() override {
        shown_.clear();
        platform::Application::SetErrorPresenter(
            [this](const std::string& caption, const std::string& text) {
                shown_.push_back({caption, text});
            });
    }
    void TearDown() override { platform::Application::SetErrorPresenter(nullptr); }

    static platform::Application& App() { return *app_; }
    std::vector<Shown> shown_;

  private:
    static inline std::unique_ptr<platform::Application> app_;
};

} // namespace platform_test
