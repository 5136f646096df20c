// The package file on Windows: a HANDLE read with SetFilePointerEx and ReadFile.
#include "base/byte_source.h"
#include "package/win32_file_source.h"
#include "support/system_error.h"

namespace tailrun {

win32_file_source::win32_file_source(HANDLE file) : file_(file) {
  LARGE_INTEGER size{};
  size_ = GetFileSizeEx(file_, &size) ? size.QuadPart : -1;
}

bool win32_file_source::seek(std::int64_t delta) {
  const std::int64_t target = static_cast<std::int64_t>(position_) + delta;
  if (size_ < 0 || target < 0 || target > size_) return false;
  LARGE_INTEGER distance{};
  distance.QuadPart = delta;
  if (!SetFilePointerEx(file_, distance, nullptr, FILE_CURRENT)) return false;
  position_ = static_cast<std::uint64_t>(target);
  return true;
}

std::int64_t win32_file_source::seek_end() {
  LARGE_INTEGER end{};
  if (size_ < 0 || !SetFilePointerEx(file_, LARGE_INTEGER{}, &end, FILE_END)) return -1;
  position_ = static_cast<std::uint64_t>(end.QuadPart);
  return size_;
}

bool win32_file_source::read(void* buffer, std::size_t count) {
  auto out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t rest = count - done;
    const DWORD chunk = rest > 0x40000000u ? 0x40000000u : static_cast<DWORD>(rest);
    DWORD got = 0;
    if (!ReadFile(file_, out + done, chunk, &got, nullptr) || got == 0) {
      position_ += done;
      return false;
    }
    done += got;
  }
  position_ += count;
  return true;
}

namespace {

class owned_file_source final : public byte_source {
 public:
  explicit owned_file_source(tessel::unique_file file) : file_(std::move(file)), source_(file_.get()) {}
  bool seek(std::int64_t delta) override { return source_.seek(delta); }
  std::int64_t seek_end() override { return source_.seek_end(); }
  bool read(void* buffer, std::size_t count) override { return source_.read(buffer, count); }
  std::uint64_t position() const override { return source_.position(); }

 private:
  tessel::unique_file file_;
  win32_file_source source_;
};

}  // namespace

namespace {

// Others may read the package while it is read, not change or delete it.
constexpr DWORD package_access = GENERIC_READ, package_sharing = FILE_SHARE_READ,
                package_flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;

}  // namespace

tessel::unique_file open_package_handle(const std::wstring& path) {
  return tessel::unique_file(
      CreateFileW(path.c_str(), package_access, package_sharing, nullptr, OPEN_EXISTING, package_flags, nullptr));
}

std::unique_ptr<byte_source> make_file_source(tessel::unique_file file) {
  return std::make_unique<owned_file_source>(std::move(file));
}

}  // namespace tailrun
