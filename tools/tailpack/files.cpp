#include "tools/tailpack/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace tailpack {

namespace {

std::string reason() { return std::strerror(errno); }

}  // namespace

file_sink::file_sink(const std::string& path) : path_(path), file_(open_file(path, "r+b")) {
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

std::string read_head(const std::string& path, std::size_t size) {
  std::string error;
  const std::unique_ptr<byte_source> in = open_input_file(path, &error);
  if (!in) throw failure("cannot open " + path + ": " + error);
  const std::int64_t length = in->seek_end();
  if (length < 0) throw failure("cannot read " + path);
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, static_cast<std::uint64_t>(length))), '\0');
  if (!in->seek(-length) || !in->read(head.data(), head.size())) throw failure("cannot read " + path);
  return head;
}

bool ensure_folders(const std::string& path) {
  const std::string separators = path_separators();
  // A UNC path's server and share are not folders to create.
  std::size_t at = path.size() >= 2 && separators.find(path[0]) != std::string::npos &&
                           separators.find(path[1]) != std::string::npos
                       ? path.find_first_of(separators, path.find_first_of(separators, 2) + 1)
                       : 0;
  bool created = false;
  while (at != std::string::npos && at < path.size()) {
    at = path.find_first_of(separators, at + 1);
    const std::string folder = path.substr(0, at);
    // Skip roots and drives ("/", "C:"), and the empty components of doubled separators.
    if (folder.empty() || folder.back() == ':' || separators.find(folder.back()) != std::string::npos) continue;
    created = ensure_folder(folder) || created;
  }
  return created;
}

std::string join_path(const std::string& folder, const std::string& name) {
  const std::string separators = path_separators();
  if (folder.empty() || separators.find(folder.back()) != std::string::npos) return folder + name;
  return folder + separators[0] + name;
}

}  // namespace tailpack
