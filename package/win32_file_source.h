// The package file as a Win32 HANDLE.
#pragma once
#include <memory>
#include <string>

#include "base/byte_source.h"
#include "support/handle.h"
#include "support/windows.h"

namespace tailrun {

// Reads an open file handle that it does not own. The position follows the handle's file pointer,
// which starts at 0. Moves use SetFilePointerEx relative to the current position (64-bit
// distances: packages of 4 GiB and more), reads use ReadFile.
class win32_file_source final : public byte_source {
 public:
  explicit win32_file_source(HANDLE file);
  bool seek(std::int64_t delta) override;
  std::int64_t seek_end() override;
  bool read(void* buffer, std::size_t count) override;
  std::uint64_t position() const override { return position_; }

 private:
  HANDLE file_;
  std::int64_t size_;
  std::uint64_t position_ = 0;
};

// Opens `path` as a package: GENERIC_READ, shared for reading only, OPEN_EXISTING, sequential
// scan. Invalid on failure, with the thread's last error set by CreateFileW.
tessel::unique_file open_package_handle(const std::wstring& path);

// A byte source that reads `file` and owns it (for files opened some other way, such as by a wide
// path).
std::unique_ptr<byte_source> make_file_source(tessel::unique_file file);

}  // namespace tailrun
