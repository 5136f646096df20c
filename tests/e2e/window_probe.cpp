// Looks for the progress window during an end-to-end scenario and presses Escape in it on request.
//
//   window_probe --title TEXT --ready-file FILE --found-file FILE --stop-file FILE
//                [--escape-file FILE] [--max-seconds N]
//
// Every 20 ms it looks for a visible top-level window titled TEXT. The ready file is written after
// the first look. The first time the window is there, the found file gets one line
// "class<TAB>client width<TAB>client height<TAB>cancel button (0 or 1)". Once the window has
// been found and the escape file exists, Escape (key down and up) is posted to it, once. The probe
// ends when the stop file exists or after N seconds (default 120); it returns 0, or 2 for a usage
// error.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/handle.h"
#include "support/windows.h"

namespace {

constexpr DWORD poll_ms = 20;

struct options {
  std::string title, ready_file, found_file, stop_file, escape_file;
  DWORD max_seconds = 120;
};

bool parse_arguments(int argc, char** argv, options& opts) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--title") opts.title = value;
    else if (option == "--ready-file") opts.ready_file = value;
    else if (option == "--found-file") opts.found_file = value;
    else if (option == "--stop-file") opts.stop_file = value;
    else if (option == "--escape-file") opts.escape_file = value;
    else if (option == "--max-seconds") opts.max_seconds = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
    else return false;
  }
  return argc % 2 == 1 && !opts.title.empty() && !opts.ready_file.empty() && !opts.found_file.empty() &&
         !opts.stop_file.empty();
}

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void write_file(const std::string& path, const std::string& text) {
  const tessel::unique_file file(
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    std::fprintf(stderr, "window_probe: cannot write %s\n", path.c_str());
}

std::string describe(HWND window) {
  char class_name[64] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  RECT client = {};
  GetClientRect(window, &client);
  const bool cancel = FindWindowExA(window, nullptr, "Button", "Cancel") != nullptr;
  return std::string(class_name) + '\t' + std::to_string(client.right) + '\t' + std::to_string(client.bottom) + '\t' +
         (cancel ? "1" : "0") + '\n';
}

}  // namespace

int main(int argc, char** argv) {
  options opts;
  if (!parse_arguments(argc, argv, opts)) {
    std::fprintf(stderr, "usage: window_probe --title TEXT --ready-file FILE --found-file FILE --stop-file FILE "
                         "[--escape-file FILE] [--max-seconds N]\n");
    return 2;
  }
  bool found = false, escaped = false, ready = false;
  const DWORD start = GetTickCount();
  while (!file_exists(opts.stop_file) && GetTickCount() - start < opts.max_seconds * 1000) {
    const HWND window = FindWindowA(nullptr, opts.title.c_str());
    if (window && IsWindowVisible(window) && !found) {
      write_file(opts.found_file, describe(window));
      found = true;
    }
    if (window && found && !escaped && !opts.escape_file.empty() && file_exists(opts.escape_file)) {
      PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      PostMessageA(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
      escaped = true;
    }
    if (!ready) {
      write_file(opts.ready_file, "ready\n");
      ready = true;
    }
    Sleep(poll_ms);
  }
  return 0;
}
