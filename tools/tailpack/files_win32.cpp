// The platform steps of tailpack on Windows: paths are UTF-8 inside and in the ANSI code page at
// the system calls.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "support/handle.h"
#include "support/system_error.h"
#include "support/unicode.h"
#include "support/windows.h"
#include "tools/tailpack/files.h"

namespace tailpack {

namespace {

std::string last_error_text() { return tessel::system_error_text(GetLastError()); }

std::string folder_of(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/");
  if (last == std::string::npos) return ".";
  const std::string folder = path.substr(0, last);
  // A root ("\\", "C:\\") keeps its separator: "C:" alone would mean C:'s current folder.
  return folder.empty() || folder.back() == ':' ? path.substr(0, last + 1) : folder;
}

}  // namespace

const char* path_separators() { return "\\/"; }

std::string system_path(const std::string& path) {
  try {
    return tessel::unicode::to_narrow(tessel::unicode::to_wide(path, CP_UTF8), CP_ACP, true);
  } catch (const tessel::exception&) {
    throw failure("cannot name " + path + " in this system's ANSI code page");
  }
}

std::string from_system_path(const std::string& path) {
  return tessel::unicode::to_narrow(tessel::unicode::to_wide(path, CP_ACP), CP_UTF8, false);
}

std::string program_path() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) throw failure("cannot find tailpack's own path: " + last_error_text());
  path.resize(length);
  return tessel::unicode::to_narrow(path, CP_UTF8, false);
}

std::string create_temp_beside(const std::string& target) {
  // GetTempFileNameA creates the file, with a name that no other file in the folder has.
  char path[MAX_PATH];
  if (GetTempFileNameA(system_path(folder_of(target)).c_str(), "tpk", 0, path) == 0)
    throw failure("cannot create a file beside " + target + ": " + last_error_text());
  return from_system_path(path);
}

void replace_file(const std::string& from, const std::string& to) {
  const std::string from_path = system_path(from), to_path = system_path(to);
  if (!MoveFileExA(from_path.c_str(), to_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw failure("cannot rename " + from + " to " + to + ": " + last_error_text());
}

void ensure_folder(const std::string& path) {
  if (CreateDirectoryA(system_path(path).c_str(), nullptr)) return;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(system_path(path).c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return;
  throw failure("cannot create folder " + path + ": " + tessel::system_error_text(error));
}

std::FILE* open_new_file(const std::string& path) {
  const std::string native = system_path(path);
  const DWORD attributes = GetFileAttributesA(native.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      throw failure("refusing to write " + path + ": a link stands there");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      throw failure("refusing to write " + path + ": a folder stands there");
    if (!DeleteFileA(native.c_str())) throw failure("cannot replace " + path + ": " + last_error_text());
  }
  tessel::unique_file handle(CreateFileA(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) throw failure("cannot create " + path + ": " + last_error_text());
  // The C run-time takes the handle over: from then on closing the descriptor closes it.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_WRONLY | _O_BINARY);
  if (fd < 0) throw failure("cannot create " + path + ": the C run-time cannot take its handle");
  handle.release();
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    throw failure("cannot create " + path + ": the C run-time cannot take its handle");
  }
  return file;
}

bool is_link(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(system_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace tailpack
