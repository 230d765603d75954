// The file-open dialog and the component registry.
#include "app_fixture.h"
#include "platform/dialogs.h"
#include "platform/widgets.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

namespace {

using namespace platform;
using platform_test::GuiTest;

class OpenDialogTest : public GuiTest {
  protected:
    void TearDown() override {
        SetOpenDialogRunner(nullptr);
        SetDialogsStartInCurrentDir(false);
        GuiTest::TearDown();
    }
};

TEST_F(OpenDialogTest, ReplacedRunnerAnswersAndARelativeNameBecomesAFullPath) {
    std::string proposed;
    SetOpenDialogRunner([&](OpenDialog& d) {
        proposed = d.fileName;
        d.fileName = "chosen.pal";
        return true;
    });
    OpenDialog dialog{"Open Palette File", "Palette files (*.pal)|*.PAL", "color1.pal"};
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(proposed, "color1.pal");
    EXPECT_EQ(dialog.fileName, QDir::current().absoluteFilePath("chosen.pal").toStdString());

    SetOpenDialogRunner([](OpenDialog& d) {
        d.fileName = "ignored";
        return false;
    });
    OpenDialog cancelled{"t", "", "keep.pal"};
    EXPECT_FALSE(cancelled.Execute(nullptr));
}

TEST_F(OpenDialogTest, TheToolkitDialogTakesTitleFilterAndATypedMissingName) {
    SetDialogsStartInCurrentDir(true);
    QStringList filters;
    QString title;
    QString directory;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (d == nullptr) return;
        filters = d->nameFilters();
        title = d->windowTitle();
        directory = d->directory().absolutePath();
        d->selectFile(QStringLiteral("no-such-palette.pal"));
        static_cast<QDialog*>(d)->accept(); // as the Open button does
    });
    OpenDialog dialog{"Open Palette File", "Palette files (*.pal)|*.PAL", "color1.pal"};
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(title, QStringLiteral("Open Palette File"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("Palette files (*.pal) (*.PAL)")});
    EXPECT_EQ(directory, QDir::currentPath());
    EXPECT_EQ(dialog.fileName,
              QDir::current().absoluteFilePath("no-such-palette.pal").toStdString());
}

TEST_F(OpenDialogTest, CancellingTheToolkitDialogChoosesNothing) {
    QTimer::singleShot(0, [] {
        if (QWidget* d = QApplication::activeModalWidget()) d->close();
    });
    OpenDialog dialog{"Open Palette File", "Palette files (*.pal)|*.PAL", "color1.pal"};
    EXPECT_FALSE(dialog.Execute(nullptr));
    EXPECT_EQ(dialog.fileName, "color1.pal");
}

TEST(ComponentRegistry, RemembersPageAndClass) {
    EXPECT_FALSE(IsComponentRegistered("Samples", "TSomething"));
    RegisterComponent("Samples", "TSomething");
    EXPECT_TRUE(IsComponentRegistered("Samples", "TSomething"));
    EXPECT_FALSE(IsComponentRegistered("Standard", "TSomething"));
}

} // namespace
