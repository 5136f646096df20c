// printf-style formatting into new strings, never cut.
#pragma once
#include <cstdarg>
#include <string>

namespace tessel {

// Formats like printf into a new narrow string of any length. The buffer starts at 1024
// characters and doubles while the output does not fit (output that fills it exactly fits).
// Throws std::runtime_error when the formatter reports an encoding error.
std::string format_text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string format_text_v(const char* format, std::va_list args);

// The wide counterpart of format_text (ISO conversions: %ls for a wide string, %s for a narrow
// one). Throws std::runtime_error on an encoding error.
std::wstring format_text_w(const wchar_t* format, ...);
std::wstring format_text_wv(const wchar_t* format, std::va_list args);

// Ends a started argument list when the variadic function leaves, also by an exception.
struct va_end_guard {
  std::va_list& args;
  ~va_end_guard() { va_end(args); }
};

}  // namespace tessel
