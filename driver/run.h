// The bootstrap run: from the program's command line to the installer's exit code.
#pragma once
#include <string>

#include "support/windows.h"

// Runs the whole sequence: single-instance guard, working folder, extraction, installer command
// line, launch and wait, clean-up. Returns the installer's exit code unchanged, or 1 when the run
// fails (after a message box, unless "/s" is on the command line).
int run(HINSTANCE instance, const std::string& command_line);
