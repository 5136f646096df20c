#include "driver/staged_file.h"

#include <climits>

#include "support/wide_path.h"

namespace {

// Marks the open file to be deleted when its last handle closes (the system does that also when
// the process is killed), or clears the mark.
bool set_delete_pending(HANDLE file, bool pending) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = pending ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Gives the open file the name `path` (a full path), replacing a file of that name.
bool rename_open_file(HANDLE file, const std::wstring& path) {
  const std::size_t name_bytes = path.size() * sizeof(wchar_t);
  std::wstring buffer((sizeof(FILE_RENAME_INFO) + name_bytes) / sizeof(wchar_t) + 1, L'\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  path.copy(rename->FileName, path.size());
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size() * sizeof(wchar_t))) != 0;
}

}  // namespace

staged_file::staged_file(const std::wstring& path) : path_(path) {
  file_ = tessel::unique_file(CreateFileW(path_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) {
    error_ = GetLastError();
    path_.clear();  // not ours: never deleted
    return;
  }
  // From here on the file goes with its handle, however the run ends; where the system cannot
  // mark it, the destructor deletes it.
  pending_ = set_delete_pending(file_.get(), true);
}

staged_file::~staged_file() {
  file_.reset();
  if (!committed_ && !pending_ && !path_.empty()) DeleteFileW(path_.c_str());
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
  try {
    if (pending_ && !set_delete_pending(file_.get(), false)) {
      error_ = GetLastError();
      return false;
    }
    pending_ = false;
    if (!rename_open_file(file_.get(), tessel::extended_path(path))) {
      error_ = GetLastError();
      set_delete_pending(file_.get(), true);  // the data goes with the handle after all
      pending_ = true;
      return false;
    }
  } catch (const std::exception&) {
    error_ = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  committed_ = true;
  const HANDLE handle = file_.release();
  if (!CloseHandle(handle)) {
    error_ = GetLastError();
    return false;
  }
  return true;
}
