// Starting the system's msiexec for an MSI setup program (Windows).
#pragma once
#include <string>

namespace msi_setup {

// The exit code when msiexec cannot be started.
constexpr unsigned long launch_failed = 1;
// The exit code when msiexec has not ended within the bound and was ended here (WAIT_TIMEOUT).
constexpr unsigned long timed_out = 258;
// No bound on the wait.
constexpr unsigned long no_timeout = 0xFFFFFFFF;

// Runs the system folder's msiexec.exe with `command_line` (UTF-8; its first word names msiexec)
// and waits for it, at most `timeout_ms` milliseconds. Returns msiexec's exit code, launch_failed
// or timed_out. Never throws but std::bad_alloc.
unsigned long run_msiexec(const std::string& command_line, unsigned long timeout_ms);

// This program's own path (UTF-8).
std::string own_path();

// This program's arguments: its command line after the program name (UTF-8).
std::string own_arguments();

}  // namespace msi_setup
