#pragma once
// `quorvane-lab gui`: the lab window as a program. No toolkit type appears
// here, so the command line links it without including Qt.
namespace labwindow {

// Opens the window and runs it until it is closed: 0 then, 1 without a
// display or after an error (one line on standard error). argv holds the
// program's name and the toolkit's own options, if any.
int RunLabWindow(int argc, char** argv);

} // namespace labwindow
