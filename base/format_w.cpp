#include <cerrno>
#include <cwchar>
#include <vector>

#include "base/format.h"
#include "base/format_limits.h"

// Kept apart from the narrow formatter so that programs using only that one do not carry the
// wide string and wide formatter code.
namespace tessel {

std::wstring format_text_wv(const wchar_t* format, std::va_list args) {
  for (std::size_t size = format_limits::initial_size; size <= format_limits::largest_size; size *= 2) {
    std::vector<wchar_t> buffer(size + 1);
    std::va_list copy;
    va_copy(copy, args);
    errno = 0;
    const int written = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    const int error = errno;
    va_end(copy);
    if (written >= 0 && static_cast<std::size_t>(written) <= size) return std::wstring(buffer.data(), written);
    // ISO vswprintf gives a negative result both when the text does not fit and on an encoding
    // error (mingw's ANSI stdio instead returns the needed length, as vsnprintf does). Only the
    // encoding error sets EILSEQ, and more room never mends it.
    if (written < 0 && error == EILSEQ) throw format_error("format_text_w: encoding error");
  }
  throw format_error("format_text_w: text too long or not representable");
}

std::wstring format_text_w(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  const va_end_guard guard{args};
  return format_text_wv(format, args);
}

}  // namespace tessel
