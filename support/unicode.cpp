#include "support/unicode.h"

#include <climits>
#include <cstddef>
#include <new>
#include <vector>

#include "support/windows.h"

namespace tessel {
namespace unicode {
namespace {

// Code pages for which the converters accept no flags and no default-character indicator
// (they fail with ERROR_INVALID_FLAGS / ERROR_INVALID_PARAMETER otherwise).
bool is_flag_free(unsigned code_page) {
  switch (code_page) {
    case 42:  // symbol
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 52936:
    case 54936:
    case 65000:  // UTF-7
    case 65001:  // UTF-8
      return true;
    default:
      return code_page >= 57002 && code_page <= 57011;  // ISCII
  }
}

// The converters count in int; a length beyond that is no text this program can hold.
int checked_length(std::size_t length) {
  if (length > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
  return static_cast<int>(length);
}

[[noreturn]] void throw_narrow_failure(DWORD error) {
  switch (error) {
    case ERROR_INSUFFICIENT_BUFFER:
      throw out_of_memory("");
    case ERROR_INVALID_PARAMETER:  // the code page already passed GetCPInfo
      throw unmappable_character("");
    default:
      throw generic("");
  }
}

[[noreturn]] void throw_wide_failure(DWORD error) {
  switch (error) {
    case ERROR_INSUFFICIENT_BUFFER:
      throw out_of_memory("");
    case ERROR_INVALID_PARAMETER:
      throw invalid_codepage("");
    case ERROR_NO_UNICODE_TRANSLATION:
      throw unmappable_character("");
    default:
      throw generic("");
  }
}

}  // namespace

std::string to_narrow(const std::wstring& text, unsigned code_page, bool strict) {
  if (text.empty()) return std::string();
  CPINFO info{};
  if (!GetCPInfo(code_page, &info)) throw invalid_codepage("");

  // Worst case: every UTF-16 unit takes the code page's longest character. (Never a zero-sized
  // buffer: the converter would take that as a request for the length alone.)
  const std::size_t max_char = info.MaxCharSize > 0 ? info.MaxCharSize : 1;
  if (text.size() > static_cast<std::size_t>(INT_MAX) / max_char) throw std::bad_alloc();
  std::vector<char> buffer(text.size() * max_char);

  BOOL used_default = FALSE;
  const int count = WideCharToMultiByte(code_page, 0, text.data(), checked_length(text.size()), buffer.data(),
                                        checked_length(buffer.size()), nullptr,
                                        is_flag_free(code_page) ? nullptr : &used_default);
  const DWORD error = GetLastError();
  // Checked before the count: a default character counts as a failure even though output exists.
  if (used_default && strict) throw unmappable_character("");
  if (count > 0) return std::string(buffer.data(), static_cast<std::size_t>(count));
  throw_narrow_failure(error);
}

std::wstring to_wide(const std::string& text, unsigned code_page) {
  if (text.empty()) return std::wstring();
  // At most one UTF-16 unit per input byte.
  std::vector<wchar_t> buffer(text.size());
  const DWORD flags = is_flag_free(code_page) ? 0 : MB_ERR_INVALID_CHARS;
  const int count = MultiByteToWideChar(code_page, flags, text.data(), checked_length(text.size()), buffer.data(),
                                        checked_length(buffer.size()));
  if (count > 0) return std::wstring(buffer.data(), static_cast<std::size_t>(count));
  throw_wide_failure(GetLastError());
}

}  // namespace unicode
}  // namespace tessel
