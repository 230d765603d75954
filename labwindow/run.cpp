#include "labwindow/run.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "labwindow/lab_window.h"
#include "labwindow/model/display_check.h"

namespace labwindow {
namespace {

// An exception from an event handler is shown in a message box and the loop
// goes on; the window's state is values, so nothing is left half changed.
class LabApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, QStringLiteral("Quorvane Lab"),
                                  QString::fromUtf8(e.what()));
        }
        return false;
    }
};

// While the toolkit starts, its messages are held back: when it cannot
// start (a display that does not answer) it ends the process with abort(),
// and the user should get one line saying why, not a core dump.
std::vector<std::string> gStartMessages;
QtMessageHandler gToolkitHandler = nullptr;

void StartUpMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string line = message.section('\n', 0, 0).toStdString();
    if (type != QtFatalMsg) {
        gStartMessages.push_back(line);
        return;
    }
    const std::string why = gStartMessages.empty() ? line : gStartMessages.front();
    std::fprintf(stderr, "quorvane-lab: gui cannot open a window: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

QString SettingsFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/quorvane/lab.ini");
}

} // namespace

int RunLabWindow(int argc, char** argv) {
    const std::string reason =
        labmodel::NoDisplayReason([](const char* name) { return std::getenv(name); }, argc, argv);
    if (!reason.empty()) {
        std::fprintf(stderr, "quorvane-lab: gui needs a display: %s\n", reason.c_str());
        return 1;
    }
    gToolkitHandler = qInstallMessageHandler(StartUpMessage);
    LabApplication app(argc, argv);
    qInstallMessageHandler(gToolkitHandler);
    for (const std::string& line : gStartMessages) std::fprintf(stderr, "%s\n", line.c_str());
    QApplication::setApplicationName(QStringLiteral("Quorvane Lab"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane-lab"));
    try {
        LabWindow window(SettingsFile());
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-lab: gui: %s\n", e.what());
        return 1;
    }
}

} // namespace labwindow
