// A sample payload installer for packages: it shows nothing, writes what it was started with
// (its command line, current directory and own path) to sample_installer.txt in the temporary
// folder (the folder above the package's working folder, so the file outlives the run), and
// returns the exit code written as a decimal number in sample_installer.cfg beside itself, or 0.
#include <cstdlib>
#include <string>

#include "support/handle.h"
#include "support/windows.h"

namespace {

constexpr DWORD buffer_size = MAX_PATH * 4;

std::string module_path() {
  char buffer[buffer_size] = {};
  return std::string(buffer, GetModuleFileNameA(nullptr, buffer, buffer_size));
}

std::string current_directory() {
  char buffer[buffer_size] = {};
  const DWORD size = GetCurrentDirectoryA(buffer_size, buffer);
  return size < buffer_size ? std::string(buffer, size) : std::string();
}

std::string temporary_folder() {
  char buffer[buffer_size] = {};
  const DWORD size = GetTempPathA(buffer_size, buffer);
  return size < buffer_size ? std::string(buffer, size) : std::string();
}

// The first bytes of the file at `path`; empty when it cannot be read.
std::string read_start(const std::string& path) {
  const tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char buffer[64] = {};
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), buffer, sizeof buffer - 1, &read, nullptr)) return {};
  return std::string(buffer, read);
}

void write_text(const std::string& path, const std::string& text) {
  const tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string self = module_path();
  const std::string report = std::string("command line: ") + GetCommandLineA() +
                             "\r\ncurrent directory: " + current_directory() +
                             "\r\nown path: " + self + "\r\n";
  write_text(temporary_folder() + "sample_installer.txt", report);
  const std::string config = self.substr(0, self.find_last_of('\\') + 1) + "sample_installer.cfg";
  return static_cast<int>(std::strtoul(read_start(config).c_str(), nullptr, 10));
}
