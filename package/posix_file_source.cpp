// The package file on POSIX systems (tailpack's Linux build).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "package/byte_source.h"

namespace {

class posix_file_source final : public byte_source {
 public:
  explicit posix_file_source(int fd) : fd_(fd) {}
  ~posix_file_source() override { ::close(fd_); }
  posix_file_source(const posix_file_source&) = delete;
  posix_file_source& operator=(const posix_file_source&) = delete;

  bool seek(std::int64_t delta) override {
    const std::int64_t size = current_size();
    const std::int64_t target = static_cast<std::int64_t>(position_) + delta;
    if (size < 0 || target < 0 || target > size) return false;
    position_ = static_cast<std::uint64_t>(target);
    return true;
  }

  std::int64_t seek_end() override {
    const std::int64_t size = current_size();
    if (size >= 0) position_ = static_cast<std::uint64_t>(size);
    return size;
  }

  bool read(void* buffer, std::size_t count) override {
    auto out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(fd_, out + done, count - done, static_cast<off_t>(position_ + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    position_ += count;
    return true;
  }

  std::uint64_t position() const override { return position_; }

 private:
  std::int64_t current_size() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
  }

  int fd_;
  std::uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<byte_source> open_package_file(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (error) *error = S_ISDIR(info.st_mode) ? "Is a directory" : std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<posix_file_source>(fd);
}
