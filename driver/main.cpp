// Entry of the installer stub: hardens DLL loading, then hands over to the run.
#include <string>

#include "driver/run.h"

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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  restrict_dll_search();
  return run(instance, command_line != nullptr ? command_line : "");
}
