// A stand-in payload installer for the end-to-end scenarios. It records what it was started with
// (its whole command line, its current directory, its own module path, its temporary folder and
// the names of the files beside it, in UTF-8) and returns the exit code that it is told.
//
// Nothing it does depends on its command line, which is what the scenarios examine. It is told
// through "fake_installer.cfg" beside its own file, lines of "name=value":
//   exit=N           the exit code (decimal or 0x hex, full 32 bits); 0 when absent
//   wait_event=NAME  create the named manual-reset event and wait until it is set ...
//   wait_ms=N        ... for at most N milliseconds (default 30000)
//   box_caption=T, box_text=T  show one message box first (\r, \n, \t, \\ escapes in T)
//   exclusive=1      while it runs, hold "fake_installer.running" in its temporary folder, created
//                    new; report "overlap" yes when another installer held it already
//   tamper=1         as another process of the same user would, try to open its own file and the
//                    settings file for writing, to rename and to delete them; report each error
//                    code ("tamper_<file>_<what>", 0 when it worked) and the FNV-1a hash of its
//                    own file as it reads it back ("self_fnv")
// The report goes to the file named by the environment variable TAILRUN_E2E_REPORT, or else to
// "fake_installer.report.txt" in the folder above its own folder. The report is written before
// the wait (so its appearance means "running, holding on") and again with the wait's outcome;
// each write replaces the file in one move, so a reader never sees half a report.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/handle.h"
#include "support/wide_path.h"
#include "support/windows.h"
#include "tests/e2e/report_text.h"

namespace {

using settings = std::map<std::string, std::string>;
using report = std::map<std::string, std::string>;

constexpr DWORD default_wait_ms = 30000;

// Paths and texts are read wide and kept as UTF-8, so that the report holds any characters.
constexpr DWORD buffer_units = MAX_PATH * 4;

std::string module_path() {
  wchar_t buffer[buffer_units] = {};
  const DWORD size = GetModuleFileNameW(nullptr, buffer, buffer_units);
  return tessel::from_wide(buffer, size);
}

std::string current_directory() {
  wchar_t buffer[buffer_units] = {};
  const DWORD size = GetCurrentDirectoryW(buffer_units, buffer);
  return size < buffer_units ? tessel::from_wide(buffer, size) : std::string();
}

std::string temp_path() {
  wchar_t buffer[buffer_units] = {};
  const DWORD size = GetTempPathW(buffer_units, buffer);
  return size < buffer_units ? tessel::from_wide(buffer, size) : std::string();
}

std::string read_file(const std::string& path) {
  const tessel::unique_file file(CreateFileW(tessel::wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text;
  char block[4096];
  DWORD got = 0;
  while (file && ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0) text.append(block, got);
  return text;
}

// The folder part of `path`, with its trailing backslash; empty when there is none.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The names of the entries in `folder` (ending with a backslash), without "." and "..", sorted,
// each followed by a slash.
std::string folder_listing(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAW entry{};
  const tessel::unique_find listing(FindFirstFileW(tessel::wide(folder + "*").c_str(), &entry));
  for (bool more = static_cast<bool>(listing); more; more = FindNextFileW(listing.get(), &entry) != 0) {
    const std::string name = tessel::from_wide(entry.cFileName, wcslen(entry.cFileName));
    if (name != "." && name != "..") names.insert(name);
  }
  std::string text;
  for (const auto& name : names) text += name + "/";
  return text;
}

settings read_settings(const std::string& path) {
  settings values;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

DWORD number_or(const settings& values, const char* name, DWORD fallback) {
  const auto it = values.find(name);
  if (it == values.end()) return fallback;
  return static_cast<DWORD>(std::strtoul(it->second.c_str(), nullptr, 0));
}

std::string text_or_empty(const settings& values, const char* name) {
  const auto it = values.find(name);
  return it == values.end() ? std::string() : e2e::unescape_field(it->second);
}

std::string report_path(const std::string& self) {
  wchar_t buffer[buffer_units] = {};
  const DWORD size = GetEnvironmentVariableW(L"TAILRUN_E2E_REPORT", buffer, buffer_units);
  if (size > 0 && size < buffer_units) return tessel::from_wide(buffer, size);
  const std::string own_folder = folder_of(self);
  const std::string above = folder_of(own_folder.substr(0, own_folder.empty() ? 0 : own_folder.size() - 1));
  return above + "fake_installer.report.txt";
}

void write_report(const std::string& path, const report& fields) {
  std::ostringstream text;
  for (const auto& [name, value] : fields) text << name << '\t' << e2e::escape_field(value) << '\n';
  const std::wstring part = tessel::wide(path + ".part");
  {
    const tessel::unique_file out(
        CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = text.str();
    DWORD written = 0;
    if (!out || !WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
      return;
  }
  MoveFileExW(part.c_str(), tessel::wide(path).c_str(), MOVEFILE_REPLACE_EXISTING);
}

// 64-bit FNV-1a of `data`, in hexadecimal.
std::string fnv1a(const std::string& data) {
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char byte : data) hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// Tries what a process of the same user could do to a file the stub verified; each attempt that
// works is undone where it can be, so that the next one meets the file again.
void tamper(report& fields, const std::string& label, const std::string& path) {
  const std::wstring file = tessel::wide(path), moved = tessel::wide(path + ".moved");
  const auto outcome = [](bool worked) { return std::to_string(worked ? 0 : GetLastError()); };
  {
    const tessel::unique_file writer(CreateFileW(file.c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    fields["tamper_" + label + "_write"] = outcome(static_cast<bool>(writer));
  }
  const bool renamed = MoveFileExW(file.c_str(), moved.c_str(), 0) != 0;
  fields["tamper_" + label + "_rename"] = outcome(renamed);
  if (renamed) MoveFileExW(moved.c_str(), file.c_str(), 0);
  fields["tamper_" + label + "_delete"] = outcome(DeleteFileW(file.c_str()) != 0);
}

// Shows the configured message box, if any; returns MessageBoxA's result as text.
std::string show_box(const settings& values) {
  const std::string caption = text_or_empty(values, "box_caption");
  const std::string text = text_or_empty(values, "box_text");
  if (caption.empty() && text.empty()) return "none";
  return std::to_string(MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK));
}

// Waits for the release event, if one is configured; returns the outcome as text.
std::string wait_for_release(const tessel::unique_handle& event, DWORD wait_ms) {
  if (!event) return "none";
  switch (WaitForSingleObject(event.get(), wait_ms)) {
    case WAIT_OBJECT_0: return "signalled";
    case WAIT_TIMEOUT: return "timeout";
    default: return "failed";
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string self = module_path();
  const settings config = read_settings(folder_of(self) + "fake_installer.cfg");
  const std::string wait_event = text_or_empty(config, "wait_event");
  // Created before the first report, so a runner that has seen the report can set it.
  tessel::unique_handle release(
      wait_event.empty() ? nullptr : CreateEventA(nullptr, TRUE, FALSE, wait_event.c_str()));

  const wchar_t* const command_line = GetCommandLineW();
  report fields{{"commandline", tessel::from_wide(command_line, wcslen(command_line))},
                {"cwd", current_directory()},
                {"module", self},
                {"temp", temp_path()},
                {"folder", folder_listing(folder_of(self))}};
  tessel::unique_file running;
  if (number_or(config, "exclusive", 0) != 0) {
    running = tessel::unique_file(CreateFileW(tessel::wide(temp_path() + "fake_installer.running").c_str(), GENERIC_WRITE,
                                              0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    fields["overlap"] = running ? "no" : "yes";
  }
  fields["box"] = show_box(config);
  if (number_or(config, "tamper", 0) != 0) {
    tamper(fields, "self", self);
    tamper(fields, "settings", folder_of(self) + "fake_installer.cfg");
    fields["self_fnv"] = fnv1a(read_file(self));
  }
  const std::string path = report_path(self);
  write_report(path, fields);

  fields["wait"] = wait_for_release(release, number_or(config, "wait_ms", default_wait_ms));
  write_report(path, fields);
  return static_cast<int>(number_or(config, "exit", 0));
}
