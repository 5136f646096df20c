// Shared by the Windows tests of support/ and diagnostics/ and by the helper programs they start
// in a second process (support_mutex_holder, log_writer, found beside the test executable).
#pragma once
#include <exception>
#include <string>

#include "diagnostics/exception.h"
#include "support/handle.h"
#include "support/windows.h"

namespace tessel::test {

// Bound for every wait on a helper process, and for a helper's wait on an event.
constexpr DWORD timeout_ms = 60000;

// The what() text of the exception that `action` throws, or "none".
template <class Action>
std::string thrown(Action action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "none";
}

// Starts `program`, which lies beside the running executable, with `arguments`; an empty handle
// when it cannot be started.
inline unique_handle start_helper(const std::string& program, const std::string& arguments) {
  char own[MAX_PATH] = {};
  std::string command(own, GetModuleFileNameA(nullptr, own, MAX_PATH));
  command = "\"" + command.substr(0, command.find_last_of('\\') + 1) + program + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return unique_handle();
  }
  CloseHandle(info.hThread);
  return unique_handle(info.hProcess);
}

// The exit code of `process` once it has ended, or 99 when it does not end in time.
inline DWORD exit_code(HANDLE process) {
  DWORD code = 99;
  if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return 99;
  return code;
}

// In a helper program: whether the event `name` (made by the test) is set in time.
inline bool event_set_in_time(const char* name) {
  const unique_handle event(OpenEventA(SYNCHRONIZE, FALSE, name));
  return event && WaitForSingleObject(event.get(), timeout_ms) == WAIT_OBJECT_0;
}

// A helper program's main(): `run`'s exit code, or 5 when a tessel::exception escapes it.
inline int helper_main(int (*run)(int, char**), int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const tessel::exception&) {
    return 5;
  }
}

}  // namespace tessel::test
