#include "tools/tailpack/files.h"

#include <cerrno>
#include <cstring>

namespace tailpack {

namespace {

std::string reason() { return std::strerror(errno); }

// Closes a FILE opened for reading on every path out.
struct reading_file {
  std::FILE* file;
  ~reading_file() {
    if (file) std::fclose(file);
  }
};

}  // namespace

std::string read_whole_file(const std::string& path) {
  reading_file in{open_file(path, "rb")};
  if (!in.file) throw failure("cannot open " + path + ": " + reason());
  std::string bytes;
  char block[1 << 16];
  for (;;) {
    const std::size_t got = std::fread(block, 1, sizeof block, in.file);
    bytes.append(block, got);
    if (got < sizeof block) break;
  }
  if (std::ferror(in.file)) throw failure("cannot read " + path + ": " + reason());
  return bytes;
}

void write_whole_file(const std::string& path, const std::string& bytes) {
  file_sink out(path);
  out.write(bytes.data(), bytes.size());
  out.close();
}

file_sink::file_sink(const std::string& path, mode how) : path_(path), file_(nullptr) {
  if (how == mode::new_file) {
    file_ = open_new_file(path);
    return;
  }
  file_ = open_file(path, "wb");
  if (!file_) throw failure("cannot create " + path + ": " + reason());
}

file_sink::~file_sink() {
  if (file_) std::fclose(file_);
}

void file_sink::write(const void* bytes, std::size_t count) {
  if (count > 0 && std::fwrite(bytes, 1, count, file_) != count) throw failure("cannot write " + path_ + ": " + reason());
}

void file_sink::close() {
  const bool flushed = std::fflush(file_) == 0;
  const int saved = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed) errno = saved;
  if (!flushed || !closed) throw failure("cannot write " + path_ + ": " + reason());
}

void ensure_folders(const std::string& path) {
  const std::string separators = path_separators();
  // A UNC path's server and share are not folders to create.
  std::size_t at = path.size() >= 2 && separators.find(path[0]) != std::string::npos &&
                           separators.find(path[1]) != std::string::npos
                       ? path.find_first_of(separators, path.find_first_of(separators, 2) + 1)
                       : 0;
  while (at != std::string::npos && at < path.size()) {
    at = path.find_first_of(separators, at + 1);
    const std::string folder = path.substr(0, at);
    // Skip roots and drives ("/", "C:"), and the empty components of doubled separators.
    if (folder.empty() || folder.back() == ':' || separators.find(folder.back()) != std::string::npos) continue;
    ensure_folder(folder);
  }
}

std::string join_path(const std::string& folder, const std::string& name) {
  const std::string separators = path_separators();
  if (folder.empty() || separators.find(folder.back()) != std::string::npos) return folder + name;
  return folder + separators[0] + name;
}

}  // namespace tailpack
