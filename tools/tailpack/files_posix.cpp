// The platform steps of tailpack on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/tailpack/files.h"

namespace tailpack {

const char* path_separators() { return "/"; }

std::unique_ptr<byte_source> open_input_file(const std::string& path, std::string* error) {
  return open_package_file(path, error);
}

std::FILE* open_file(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

void remove_file(const std::string& path) { std::remove(path.c_str()); }

std::string program_path() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
    throw failure(std::string("cannot find tailpack's own path: ") + std::strerror(errno));
  path.resize(static_cast<std::size_t>(length));
  return path;
}

std::string create_temp_beside(const std::string& target) {
  // Beside the target, so that the final rename stays on one file system. The mode is left to the
  // umask, as for any file the user creates.
  const std::string stem = target + ".partial-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = stem + std::to_string(attempt);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) throw failure("cannot create a file beside " + target + ": " + std::strerror(errno));
  }
  throw failure("cannot create a file beside " + target + ": every temporary name is taken");
}

void replace_file(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0)
    throw failure("cannot rename " + from + " to " + to + ": " + std::strerror(errno));
}

bool ensure_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return false;
  throw failure("cannot create folder " + path + ": " +
                (error == EEXIST ? "a file of that name exists" : std::strerror(error)));
}

bool is_link(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::string file_stamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
         std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

}  // namespace tailpack
