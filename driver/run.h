// The stub's run on Windows: the log, then the run core on the Win32 system.
#pragma once
#include <string>

#include "support/windows.h"

namespace tailrun {

// Sets up the log, performs the run (run/run.h) with `command_line`, the program's arguments as the
// run's text, and shuts the log down. Returns the installer's exit code unchanged, or 1 when the
// run fails (after a message box, unless "/s" is on the command line).
int run(HINSTANCE instance, const std::string& command_line);

}  // namespace tailrun
