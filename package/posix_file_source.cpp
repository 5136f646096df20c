#include "package/posix_file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tailrun {

namespace {

// Owns a file descriptor: closes it once, on every path out.
class unique_fd {
 public:
  explicit unique_fd(int fd) noexcept : fd_(fd) {}
  ~unique_fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  unique_fd(unique_fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;
  unique_fd& operator=(unique_fd&&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

class posix_file_source final : public byte_source {
 public:
  explicit posix_file_source(unique_fd fd) : fd_(std::move(fd)) {}

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
      const ssize_t got = ::pread(fd_.get(), out + done, count - done, static_cast<off_t>(position_ + done));
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
    if (::fstat(fd_.get(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
  }

  unique_fd fd_;
  std::uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<byte_source> open_package_file(const std::string& path, std::string* error) {
  // Non-blocking, so that a FIFO is refused rather than waited on; it changes nothing for a file.
  unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    if (error) *error = S_ISDIR(info.st_mode) ? "Is a directory" : "not a regular file (a FIFO, device or socket)";
    return nullptr;
  }
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<posix_file_source>(std::move(fd));
}

}  // namespace tailrun
