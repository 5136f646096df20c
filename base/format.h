// printf-style formatting into new strings, never cut.
#pragma once
#include <cstdarg>
#include <exception>
#include <string>

namespace tessel {

// The formatter's own failure: a standard exception with a fixed text. It sits below the exception
// family (which formats its messages here) and needs no allocation, so the stub does not carry the
// standard library's string-based exceptions for it.
class format_error final : public std::exception {
 public:
  explicit format_error(const char* text) noexcept : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;  // a static text
};

// Formats like printf into a new narrow string of any length. The buffer starts at 1024
// characters and doubles while the output does not fit (output that fills it exactly fits).
// Throws format_error when the formatter reports an encoding error.
std::string format_text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string format_text_v(const char* format, std::va_list args);

// The wide counterpart of format_text (ISO conversions: %ls for a wide string, %s for a narrow
// one). Throws format_error on an encoding error.
std::wstring format_text_w(const wchar_t* format, ...);
std::wstring format_text_wv(const wchar_t* format, std::va_list args);

// Ends a started argument list when the variadic function leaves, also by an exception.
struct va_end_guard {
  std::va_list& args;
  ~va_end_guard() { va_end(args); }
};

}  // namespace tessel
