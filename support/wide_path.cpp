#include "support/wide_path.h"

#include <algorithm>
#include <climits>

#include "base/wtf8.h"
#include "support/windows.h"

namespace tessel {

std::wstring wide(const std::string& text) { return utf16_from_wtf8(text); }

std::string from_wide(const wchar_t* text, std::size_t length) { return wtf8_from_utf16(text, length); }

std::string from_ansi(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return std::string();
  std::wstring units(bytes.size(), L'\0');  // at most one unit per byte
  const int count = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &units[0],
                                        static_cast<int>(units.size()));
  return from_wide(units.data(), count > 0 ? static_cast<std::size_t>(count) : 0);
}

std::wstring extended_path(const std::string& path) {
  const std::wstring given = wide(path);
  if (given.size() >= 4 && given[0] == L'\\' && given[1] == L'\\' && (given[2] == L'?' || given[2] == L'.') &&
      given[3] == L'\\')
    return given;
  // The full path goes behind room for the longest prefix: "\\?\UNC" takes the place of a share's
  // first backslash, "\\?\" goes in front of a drive.
  constexpr std::size_t room = 7;
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);  // with its terminator
  if (needed == 0) return given;
  std::wstring full(room + needed, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), needed, &full[room], nullptr);
  if (length == 0 || length >= needed) return given;
  const bool share = full[room] == L'\\' && full[room + 1] == L'\\';
  if (!share && !(full[room + 1] == L':' && full[room + 2] == L'\\')) return given;
  const wchar_t* const prefix = share ? L"\\\\?\\UNC" : L"\\\\?\\";
  const std::size_t start = share ? room - 6 : room - 4;
  std::copy(prefix, prefix + (share ? 7 : 4), &full[start]);
  return std::wstring(full.data() + start, room + length - start);
}

}  // namespace tessel
