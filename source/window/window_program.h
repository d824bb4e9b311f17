#pragma once

namespace veltrin {

// The program with its window: argv may hold Qt's own options and one link. A link goes to the
// window that already runs for this user on this display, if there is one; otherwise the window
// opens and runs it once loaded. Gives the exit status.
int RunWindowProgram(int argc, char** argv);

} // namespace veltrin
