// The platform steps of tailpack on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "package/posix_file_source.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/files.h"

namespace tailpack {

const char* path_separators() { return "/"; }

std::unique_ptr<byte_source> open_input_file(const std::string& path, std::string* error) {
  return open_package_file(path, error);
}

std::FILE* open_file(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

void remove_file(const std::string& path) { std::remove(path.c_str()); }

namespace {

std::string kind_of(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The partial output that the signal handlers remove; a fixed buffer, as a handler may not allocate.
char interrupted_path[4096];
struct sigaction earlier_handlers[3];
constexpr int cleanup_signals[3] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_and_end(int signal_number) {
  if (interrupted_path[0] != '\0') ::unlink(interrupted_path);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

std::string special_file_kind(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? kind_of(info.st_mode) : "";
}

std::string read_text_input(const std::string& path, std::size_t limit) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throw failure("cannot open " + path + ": " + std::strerror(errno));
  if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode))
    throw failure("cannot read " + path + ": it is " + kind_of(info.st_mode));
  // A pipe is read as a pipe is: its opening waits for its writer, and it is read to its end.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw failure("cannot open " + path + ": " + std::strerror(errno));
  std::string text, why;
  {
    char block[65536];
    for (;;) {
      const ssize_t got = ::read(fd, block, sizeof block);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        why = std::strerror(errno);
        break;
      }
      if (got == 0) break;
      text.append(block, static_cast<std::size_t>(got));
      if (text.size() > limit) {
        text.resize(limit + 1);
        break;
      }
    }
  }
  ::close(fd);
  if (!why.empty()) throw failure("cannot read " + path + ": " + why);
  return text;
}

interrupt_cleanup::interrupt_cleanup(const std::string& path) {
  // A path too long for the buffer is not removed: never a shortened one.
  const std::size_t length = path.size() < sizeof interrupted_path ? path.size() : 0;
  std::memcpy(interrupted_path, path.data(), length);
  interrupted_path[length] = '\0';
  struct sigaction handler {};
  handler.sa_handler = remove_and_end;
  sigemptyset(&handler.sa_mask);
  for (int i = 0; i < 3; ++i) {
    ::sigaction(cleanup_signals[i], nullptr, &earlier_handlers[i]);
    // A signal the caller ignores (SIGINT in a script's background job) stays ignored.
    if (earlier_handlers[i].sa_handler != SIG_IGN) ::sigaction(cleanup_signals[i], &handler, nullptr);
  }
}

interrupt_cleanup::~interrupt_cleanup() {
  for (int i = 0; i < 3; ++i) ::sigaction(cleanup_signals[i], &earlier_handlers[i], nullptr);
  interrupted_path[0] = '\0';
}

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
#ifdef RENAME_EXCHANGE
  // The old file takes `from`'s name in the same step, then goes; where the system cannot exchange
  // (no `to`, another file system type), an ordinary rename.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    ::unlink(from.c_str());
    return;
  }
#endif
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
