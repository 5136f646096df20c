// Entry of the installer stub: hardens DLL loading, then hands over to the run.
#include <cwchar>
#include <string>

#include "driver/run.h"
#include "run/command_line.h"
#include "support/wide_path.h"

namespace {

// Packages start elevated from download folders, where a planted DLL must never load: system DLLs
// come from System32 only. SetDefaultDllDirectories is missing on an unpatched Windows 7, hence
// the run-time lookup.
void restrict_dll_search() {
  using set_default_dll_directories_fn = BOOL(WINAPI*)(DWORD);
  if (const HMODULE kernel32 = GetModuleHandleA("kernel32.dll")) {
    const auto set_default = reinterpret_cast<set_default_dll_directories_fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  SetDllDirectoryA("");
}

}  // namespace

// The command line is read wide, so that arguments in any characters reach the installer unchanged.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  restrict_dll_search();
  const wchar_t* const command_line = GetCommandLineW();
  const std::string full = command_line != nullptr ? tessel::from_wide(command_line, wcslen(command_line)) : "";
  return tailrun::run(instance, tailrun::arguments_of(full));
}
