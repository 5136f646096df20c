// The platform steps of tailpack on Windows: paths are UTF-8 inside and UTF-16 at the system's
// wide calls, so that any name works whatever the machine's ANSI code page.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "package/win32_file_source.h"
#include "support/handle.h"
#include "support/system_error.h"
#include "support/unicode.h"
#include "support/windows.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/files.h"

namespace tailpack {

namespace {

std::string last_error_text() { return tessel::system_error_text(GetLastError()); }

std::wstring wide(const std::string& path) { return tessel::unicode::to_wide(path, tessel::unicode::utf8_code_page); }

std::string utf8(const std::wstring& path) { return tessel::unicode::to_narrow(path, tessel::unicode::utf8_code_page, false); }

std::string folder_of(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/");
  if (last == std::string::npos) return ".";
  const std::string folder = path.substr(0, last);
  // A root ("\\", "C:\\") keeps its separator: "C:" alone would mean C:'s current folder.
  return folder.empty() || folder.back() == ':' ? path.substr(0, last + 1) : folder;
}

// The volume and file index of the file at `path`, links followed; false when it cannot be opened.
bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  const tessel::unique_file file(CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && GetFileInformationByHandle(file.get(), &info);
}

}  // namespace

const char* path_separators() { return "\\/"; }

std::unique_ptr<byte_source> open_input_file(const std::string& path, std::string* error) {
  tessel::unique_file file = open_package_handle(wide(path));
  if (!file) {
    if (error) *error = last_error_text();
    return nullptr;
  }
  return make_file_source(std::move(file));
}

std::FILE* open_file(const std::string& path, const char* mode) {
  return _wfopen(wide(path).c_str(), wide(mode).c_str());
}

std::string program_path() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) throw failure("cannot find tailpack's own path: " + last_error_text());
  path.resize(length);
  return utf8(path);
}

std::string create_temp_beside(const std::string& target) {
  // GetTempFileNameW creates the file, with a name that no other file in the folder has.
  wchar_t path[MAX_PATH];
  if (GetTempFileNameW(wide(folder_of(target)).c_str(), L"tpk", 0, path) == 0)
    throw failure("cannot create a file beside " + target + ": " + last_error_text());
  return utf8(path);
}

void replace_file(const std::string& from, const std::string& to) {
  if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw failure("cannot rename " + from + " to " + to + ": " + last_error_text());
}

bool ensure_folder(const std::string& path) {
  if (CreateDirectoryW(wide(path).c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  throw failure("cannot create folder " + path + ": " + tessel::system_error_text(error));
}

bool is_link(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void remove_file(const std::string& path) { DeleteFileW(wide(path).c_str()); }

std::string special_file_kind(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a folder" : "";
}

std::string read_text_input(const std::string& path, std::size_t limit) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(open_file(path, "rb"), std::fclose);
  if (!in) throw failure("cannot open " + path + ": " + std::strerror(errno));
  std::string text(limit + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), in.get()));
  if (std::ferror(in.get())) throw failure("cannot read " + path);
  return text;
}

// Windows ends a console program's process on Ctrl-C without running C++ code that could remove the
// file reliably; the partial file stays there.
interrupt_cleanup::interrupt_cleanup(const std::string&) {}
interrupt_cleanup::~interrupt_cleanup() = default;

std::string file_stamp(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file_identity(path, info)) return "";
  const auto number = [](DWORD high, DWORD low) { return std::to_string((std::uint64_t{high} << 32) | low); };
  return number(info.dwVolumeSerialNumber, info.nFileIndexLow) + ":" + number(info.nFileIndexHigh, 0) + ":" +
         number(info.nFileSizeHigh, info.nFileSizeLow) + ":" +
         number(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
}

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return file_identity(a, first) && file_identity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace tailpack
