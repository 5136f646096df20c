#include "package/staged_file.h"

#include <climits>

staged_file::staged_file(const std::string& folder) {
  // A leading "~" and the ".tmp" suffix keep the name apart from what installers are called.
  for (unsigned attempt = 0; attempt < 100 && !file_; ++attempt) {
    temp_path_ = folder + "~extract" + std::to_string(attempt) + ".tmp";
    file_ = tessel::unique_file(CreateFileA(temp_path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_) error_ = GetLastError();
    if (!file_ && error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) break;
  }
  if (!file_) temp_path_.clear();
}

staged_file::~staged_file() {
  file_.reset();
  if (!committed_ && !temp_path_.empty()) DeleteFileA(temp_path_.c_str());
}

bool staged_file::take(const char* bytes, std::size_t count) {
  while (count > 0) {
    const DWORD chunk = count > INT_MAX ? static_cast<DWORD>(INT_MAX) : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes, chunk, &written, nullptr)) {
      error_ = GetLastError();
      return false;
    }
    if (written == 0) {  // a short write that reports success: nothing more fits
      error_ = ERROR_DISK_FULL;
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

bool staged_file::commit(const std::string& path) {
  const HANDLE handle = file_.release();
  if (!CloseHandle(handle)) {
    error_ = GetLastError();
    return false;
  }
  if (!MoveFileExA(temp_path_.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error_ = GetLastError();
    return false;
  }
  committed_ = true;
  return true;
}
