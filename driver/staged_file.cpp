#include "driver/staged_file.h"

#include <new>

#include "support/file_entry.h"
#include "support/wide_path.h"

namespace tailrun {

namespace {

// What tells the held file from another: the file's number on its volume and its size. Times
// cannot tell more: closing a handle that wrote sets the last write time. (The volume is the
// working folder's: the name is the same path in the folder the run holds.)
struct file_identity {
  unsigned long long index = 0;
  LONGLONG size = 0;
};

bool identity_of(HANDLE file, file_identity& identity) {
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) return false;
  identity.size = standard.EndOfFile.QuadPart;
  return tessel::file_index_of(file, identity.index);
}

bool same_file(const file_identity& a, const file_identity& b) { return a.index == b.index && a.size == b.size; }

}  // namespace

staged_file::staged_file(const std::wstring& path) : path_(path) {
  file_ = tessel::unique_file(CreateFileW(path_.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) {
    error_ = GetLastError();
    path_.clear();  // not ours: never deleted
    return;
  }
  // From here on the file goes with its handle, however the run ends; where the system cannot
  // mark it, the destructor deletes it.
  pending_ = tessel::delete_by_handle(file_.get());
}

staged_file::~staged_file() {
  writer_.reset();
  file_.reset();
  if (!committed_ && !pending_ && !path_.empty()) DeleteFileW(path_.c_str());
}

bool staged_file::begin(std::uint64_t length) {
  if (length <= record_block_size) return true;  // one write: nothing to overlap, no call to spare
  FILE_ALLOCATION_INFO room{};
  room.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  SetFileInformationByHandle(file_.get(), FileAllocationInfo, &room, sizeof room);  // a hint: a refusal costs nothing
  writer_.reset(new (std::nothrow) block_writer(file_.get()));
  if (writer_ && !writer_->started()) writer_.reset();  // written here instead
  return true;
}

bool staged_file::take(const char* bytes, std::size_t count) {
  return writer_ ? writer_->write(bytes, count, error_) : write_all(file_.get(), bytes, count, error_);
}

bool staged_file::end() { return !writer_ || writer_->wait(error_); }

bool staged_file::commit(const std::string& path) {
  if (!end()) return false;
  writer_.reset();
  std::wstring target;
  try {
    target = tessel::extended_path(path);
  } catch (const std::exception&) {
    error_ = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  if (pending_ && !tessel::set_delete_pending(file_.get(), false)) {
    error_ = GetLastError();
    return false;
  }
  pending_ = false;
  if (!tessel::rename_by_handle(file_.get(), target)) {
    error_ = GetLastError();
    pending_ = tessel::delete_by_handle(file_.get());  // the data goes with the handle after all
    return false;
  }
  committed_ = true;  // it has its name: from here on it stays, held or not
  return hold(target);
}

// Exchanges the writing handle for one that reads and shares only reading. No handle may share
// less than another open handle's access, so the writing one must go first.
bool staged_file::hold(const std::wstring& path) {
  file_identity written;
  if (!identity_of(file_.get(), written)) {
    error_ = GetLastError();
    return false;
  }
  const HANDLE writer = file_.release();
  if (!CloseHandle(writer)) {
    error_ = GetLastError();
    return false;
  }
  file_ = tessel::unique_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file_) {
    error_ = GetLastError();
    return false;
  }
  file_identity held;
  if (!identity_of(file_.get(), held) || !same_file(written, held)) {
    error_ = ERROR_FILE_INVALID;
    file_.reset();
    return false;
  }
  return true;
}

}  // namespace tailrun
