#pragma once
// Whether the lab window has somewhere to open, decided before the toolkit
// starts (which would otherwise end the program with abort()): the desktop
// session's display, or the platform the user chose.
#include <functional>
#include <string>

namespace labmodel {

// Empty when a window can open; otherwise one line saying why not. `env`
// reads an environment variable (null when unset); argv may hold the
// toolkit's own -platform NAME and -display NAME. A platform chosen by name
// (QT_QPA_PLATFORM or -platform; a list "a;b" is tried in order) needs its
// display: xcb DISPLAY (or -display), wayland WAYLAND_DISPLAY or the
// session's wayland-0 socket; any other platform (offscreen, vnc, eglfs ...)
// is the user's choice and left to the toolkit.
std::string NoDisplayReason(const std::function<const char*(const char*)>& env, int argc,
                            char** argv);

} // namespace labmodel
