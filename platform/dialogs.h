#pragma once
// The file-open dialog.
#include <functional>
#include <string>

namespace platform {

class Control;

// Process-wide: a file dialog without an initial directory starts in the
// process's current directory.
void SetDialogsStartInCurrentDir(bool on);
bool DialogsStartInCurrentDir();

struct OpenDialog {
    std::string title;
    std::string filter;   // "Description|*.PAL" pairs, matched regardless of case
    std::string fileName; // proposed name in, chosen full path out
    // Runs the dialog modally; true when a file was chosen (a typed name of a
    // missing file is accepted).
    bool Execute(Control* owner);
};

// Who runs the dialog; tests replace it to answer without a human.
using OpenDialogRunner = std::function<bool(OpenDialog& dialog)>;
void SetOpenDialogRunner(OpenDialogRunner runner);

// The design-time component registry (no visual designer here; the entries
// are only recorded).
void RegisterComponent(const std::string& page, const std::string& className);
bool IsComponentRegistered(const std::string& page, const std::string& className);

} // namespace platform
