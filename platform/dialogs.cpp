#include "platform/dialogs.h"

#include "platform/widgets.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <mutex>
#include <set>
#include <utility>

namespace platform {

namespace {

bool gStartInCurrentDir = false;
OpenDialogRunner gRunner;

std::set<std::pair<std::string, std::string>>& Registry() {
    static std::set<std::pair<std::string, std::string>> entries;
    return entries;
}

bool HasDirectory(const std::string& name) {
    return name.find('/') != std::string::npos;
}

std::string Absolute(const std::string& name) {
    if (name.empty()) return name;
    return QFileInfo(QString::fromStdString(name)).absoluteFilePath().toStdString();
}

// "Description|*.a;*.b|..." to the toolkit's "Description (*.a *.b)" lines.
QStringList ToNameFilters(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.trimmed());
    }
    return out;
}

} // namespace

void SetDialogsStartInCurrentDir(bool on) {
    gStartInCurrentDir = on;
}
bool DialogsStartInCurrentDir() {
    return gStartInCurrentDir;
}

void SetOpenDialogRunner(OpenDialogRunner runner) {
    gRunner = std::move(runner);
}

bool OpenDialog::Execute(Control* owner) {
    if (gRunner) {
        if (!gRunner(*this)) return false;
        fileName = Absolute(fileName);
        return true;
    }
    QFileDialog dialog(owner != nullptr ? owner->Native() : nullptr, QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is accepted.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = ToNameFilters(this->filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (gStartInCurrentDir && !HasDirectory(fileName)) dialog.setDirectory(QDir::currentPath());
    if (!fileName.empty()) dialog.selectFile(QString::fromStdString(fileName));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    fileName = Absolute(chosen.first().toStdString());
    return true;
}

void RegisterComponent(const std::string& page, const std::string& className) {
    Registry().emplace(page, className);
}

bool IsComponentRegistered(const std::string& page, const std::string& className) {
    return Registry().count({page, className}) != 0;
}

} // namespace platform
