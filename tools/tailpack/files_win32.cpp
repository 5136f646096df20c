// The platform steps of tailpack on Windows (narrow paths in the ANSI code page).
#include "support/system_error.h"
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

std::string create_temp_beside(const std::string& target) {
  // GetTempFileNameA creates the file, with a name that no other file in the folder has.
  char path[MAX_PATH];
  if (GetTempFileNameA(folder_of(target).c_str(), "tpk", 0, path) == 0)
    throw failure("cannot create a file beside " + target + ": " + last_error_text());
  return path;
}

void replace_file(const std::string& from, const std::string& to) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw failure("cannot rename " + from + " to " + to + ": " + last_error_text());
}

bool ensure_folder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  throw failure("cannot create folder " + path + ": " + tessel::system_error_text(error));
}

}  // namespace tailpack
