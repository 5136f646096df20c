// Watches for message boxes during the end-to-end scenarios and answers them.
//
//   box_watcher --out FILE --stop-file FILE [--ready-file FILE] [--max-seconds N]
//
// Every 20 ms it enumerates the top-level windows; each visible dialog (class "#32770") that it
// has not seen before is appended to FILE as one line "caption<TAB>text" (the text of the
// box's static control 0xFFFF; backslash, tab, line feed and carriage return escaped as \\, \t,
// \n, \r), and then its OK button is pressed. The line is written before the press, so once a
// program that showed a box has ended, its line is in FILE. A box that is still there 500 ms
// after a press is pressed again. The ready file is created after the first sweep. The watcher
// ends when the stop file exists (after one last sweep) or after N seconds (default 300);
// it returns 0, or 2 for a usage error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/handle.h"
#include "support/windows.h"
#include "tests/e2e/report_text.h"

namespace {

constexpr DWORD poll_ms = 20;
constexpr DWORD repress_ms = 500;
constexpr DWORD default_max_seconds = 300;
constexpr UINT send_timeout_ms = 2000;
constexpr int static_text_id = 0xFFFF;

struct options {
  std::string out;
  std::string stop_file;
  std::string ready_file;
  DWORD max_seconds = default_max_seconds;
};

bool parse_arguments(int argc, char** argv, options& opts) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--out") {
      opts.out = value;
    } else if (option == "--stop-file") {
      opts.stop_file = value;
    } else if (option == "--ready-file") {
      opts.ready_file = value;
    } else if (option == "--max-seconds") {
      opts.max_seconds = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !opts.out.empty() && !opts.stop_file.empty();
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool append_line(const std::string& path, const std::string& line) {
  const tessel::unique_file file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

BOOL CALLBACK collect_dialog(HWND window, LPARAM found) {
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (std::string(class_name) == "#32770" && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> visible_dialogs() {
  std::vector<HWND> found;
  EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string window_text(HWND window) {
  char buffer[4096] = {};
  const int size = GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, size > 0 ? size : 0);
}

std::string box_text(HWND box) {
  char buffer[8192] = {};
  const UINT size = GetDlgItemTextA(box, static_text_id, buffer, sizeof buffer);
  return std::string(buffer, size);
}

// Presses the box's OK button; a box without one gets the OK command directly.
void press_ok(HWND box) {
  DWORD_PTR result = 0;
  const HWND ok = GetDlgItem(box, IDOK);
  if (ok) {
    SendMessageTimeoutA(ok, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms, &result);
    return;
  }
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

class watcher {
 public:
  explicit watcher(std::string out) : out_(std::move(out)) {}

  void sweep() {
    const DWORD now = GetTickCount();
    const std::vector<HWND> boxes = visible_dialogs();
    forget_closed(boxes);
    for (HWND box : boxes) {
      const auto pressed = pressed_at_.find(box);
      if (pressed == pressed_at_.end()) {
        record(box);
      } else if (now - pressed->second < repress_ms) {
        continue;
      }
      press_ok(box);
      pressed_at_[box] = now;
    }
  }

 private:
  // Drops boxes that are gone, so that a new box that gets a recycled handle is recorded.
  void forget_closed(const std::vector<HWND>& boxes) {
    for (auto it = pressed_at_.begin(); it != pressed_at_.end();) {
      const bool open = std::find(boxes.begin(), boxes.end(), it->first) != boxes.end();
      it = open ? std::next(it) : pressed_at_.erase(it);
    }
  }

  void record(HWND box) {
    const std::string line =
        e2e::escape_field(window_text(box)) + '\t' + e2e::escape_field(box_text(box)) + '\n';
    if (!append_line(out_, line)) std::fprintf(stderr, "box_watcher: cannot write %s\n", out_.c_str());
  }

  std::string out_;
  std::map<HWND, DWORD> pressed_at_;
};

}  // namespace

int main(int argc, char** argv) {
  options opts;
  if (!parse_arguments(argc, argv, opts)) {
    std::fprintf(stderr, "usage: box_watcher --out FILE --stop-file FILE [--ready-file FILE] "
                         "[--max-seconds N]\n");
    return 2;
  }
  watcher boxes(opts.out);
  boxes.sweep();
  if (!opts.ready_file.empty()) append_line(opts.ready_file, "ready\n");
  const DWORD start = GetTickCount();
  while (!file_exists(opts.stop_file) && GetTickCount() - start < opts.max_seconds * 1000) {
    Sleep(poll_ms);
    boxes.sweep();
  }
  boxes.sweep();
  return 0;
}
