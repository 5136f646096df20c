#include "base/format.h"
#include "base/format_limits.h"

#include <cstdio>
#include <vector>

namespace tessel {

std::string format_text_v(const char* format, std::va_list args) {
  for (std::size_t size = format_limits::initial_size;; size *= 2) {
    // One extra slot for the terminator, so that output of exactly `size` characters fits.
    std::vector<char> buffer(size + 1);
    std::va_list copy;
    va_copy(copy, args);
    const int written = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (written < 0) throw format_error("format_text: encoding error");
    if (static_cast<std::size_t>(written) <= size) return std::string(buffer.data(), written);
    if (size >= format_limits::largest_size) throw format_error("format_text: text too long");
  }
}

std::string format_text(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const va_end_guard guard{args};
  return format_text_v(format, args);
}

}  // namespace tessel
