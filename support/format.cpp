#include "support/format.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace tessel {
namespace {

constexpr std::size_t initial_size = 1024;
// Far beyond any message of the program; stops the doubling when a wide formatter keeps failing
// for a reason other than room (it reports both the same way).
constexpr std::size_t largest_size = std::size_t{1} << 28;

}  // namespace

std::string format_text_v(const char* format, std::va_list args) {
  for (std::size_t size = initial_size;; size *= 2) {
    // One extra slot for the terminator, so that output of exactly `size` characters fits.
    std::vector<char> buffer(size + 1);
    std::va_list copy;
    va_copy(copy, args);
    const int written = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (written < 0) throw std::runtime_error("format_text: encoding error");
    if (static_cast<std::size_t>(written) <= size) return std::string(buffer.data(), written);
    if (size >= largest_size) throw std::length_error("format_text: text too long");
  }
}

std::string format_text(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  struct end_args {
    std::va_list& a;
    ~end_args() { va_end(a); }
  } guard{args};
  return format_text_v(format, args);
}

std::wstring format_text_wv(const wchar_t* format, std::va_list args) {
  for (std::size_t size = initial_size; size <= largest_size; size *= 2) {
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
    if (written < 0 && error == EILSEQ) throw std::runtime_error("format_text_w: encoding error");
  }
  throw std::runtime_error("format_text_w: text too long or not representable");
}

std::wstring format_text_w(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  struct end_args {
    std::va_list& a;
    ~end_args() { va_end(a); }
  } guard{args};
  return format_text_wv(format, args);
}

}  // namespace tessel
