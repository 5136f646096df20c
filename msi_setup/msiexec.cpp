#include "msi_setup/msiexec.h"

#include "run/command_line.h"
#include "support/handle.h"
#include "support/wide_path.h"
#include "support/windows.h"

namespace msi_setup {
namespace {

std::wstring msiexec_path() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT size = GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, size < MAX_PATH ? size : 0) + L"\\msiexec.exe";
}

}  // namespace

unsigned long run_msiexec(const std::string& command_line, unsigned long timeout_ms) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::wstring program = msiexec_path();
  std::wstring line = tessel::wide(command_line);  // CreateProcessW may write to it
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return launch_failed;
  }
  const tessel::unique_handle process_handle(process.hProcess);
  const tessel::unique_handle thread_handle(process.hThread);
  if (WaitForSingleObject(process_handle.get(), timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process_handle.get(), timed_out);
    return timed_out;
  }
  DWORD exit_code = launch_failed;
  GetExitCodeProcess(process_handle.get(), &exit_code);
  return exit_code;
}

std::string own_path() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (size < buffer.size()) return tessel::from_wide(buffer.data(), size);
    buffer.resize(buffer.size() * 2);
  }
}

std::string own_arguments() { return tailrun::arguments_of(tessel::from_wide(std::wstring(GetCommandLineW()))); }

}  // namespace msi_setup
