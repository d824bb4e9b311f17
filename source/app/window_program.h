#pragma once

#include "cli/arguments.h"

#include <functional>

namespace veltrin {

// How the window starts, from the environment; isSet tells whether a variable is set and not empty.
struct StartChoice {
    bool desktop = true;            // false: no display of any kind can be reached
    const char* platform = nullptr; // the Qt platform to ask for; nothing: Qt's own choice
    bool withoutOpenGl = false;     // X11 without an OpenGL integration
};
StartChoice ChooseStart(const std::function<bool(const char* name)>& isSet);

// The program with its window, for a job of Task::Window: Qt's own options go to Qt, and a link
// goes to the window that already runs for this user on this display, if there is one; otherwise
// the window opens and runs it once loaded. Gives the exit status.
int RunWindowProgram(const Job& job, const char* programName);

// A job of the command line with the proxy chosen in the window's Preferences when its options
// name none, its password from the desktop's secret store where one runs (else the command line
// asks for it). Needs no display.
Job WithChosenProxy(Job job);

} // namespace veltrin
