#include "tools/tailpack/files.h"

#include <cerrno>
#include <cstring>

namespace tailpack {

namespace {

std::string reason() { return std::strerror(errno); }

}  // namespace

file_sink::file_sink(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
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

std::string join_path(const std::string& folder, const std::string& name) {
  const std::string separators = path_separators();
  if (folder.empty() || separators.find(folder.back()) != std::string::npos) return folder + name;
  return folder + separators[0] + name;
}

}  // namespace tailpack
