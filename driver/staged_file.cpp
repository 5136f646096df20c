#include "driver/staged_file.h"

#include <climits>

staged_file::staged_file(const std::string& path) : path_(path) {
  file_ = tessel::unique_file(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) {
    error_ = GetLastError();
    path_.clear();  // not ours: never deleted
  }
}

staged_file::~staged_file() {
  file_.reset();
  if (!committed_ && !path_.empty()) DeleteFileA(path_.c_str());
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
  if (!MoveFileExA(path_.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error_ = GetLastError();
    return false;
  }
  committed_ = true;
  return true;
}
