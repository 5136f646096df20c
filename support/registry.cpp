#include "support/registry.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "base/exception.h"
#include "base/format.h"
#include "support/unicode.h"

namespace tessel {
namespace registry2 {
namespace {

// The expansion buffer, in units, terminator included. The platform's expansion counts text in
// 16-bit byte lengths: it cuts a source longer than 32766 units without notice, and it may use
// less of the buffer than it is given.
constexpr std::size_t expansion_units = 0x8000;
constexpr std::size_t longest_expansion_source = 32766;

// A registry name as message text: the ANSI code page, unmappable characters reported.
std::string message_name(const std::wstring& name) { return unicode::to_narrow(name, 0, true); }

[[noreturn]] void throw_expansion_failure(const std::wstring& name, DWORD error) {
  throw value_error(format_text("ExpandEnvironmentStrings() failed: value \"%s\" (%i)", message_name(name).c_str(),
                                static_cast<int>(error)));
}

// Opens `path` under `parent` (the parent itself for a null path) with the access fallback;
// returns the registry call's result.
LONG open_key(HKEY parent, const wchar_t* path, unique_hkey& opened) {
  HKEY handle = nullptr;
  const LONG result = open_with_fallback(
      [&](std::uint32_t access) { return RegOpenKeyExW(parent, path, 0, static_cast<REGSAM>(access), &handle); });
  if (result == ERROR_SUCCESS) opened.reset(handle);
  return result;
}

// ExpandEnvironmentStringsW of `text` (up to its first zero unit), without the terminator. A text
// that the platform would cut, before or after expansion, is a value_error rather than a silently
// shortened result; so is a failed expansion.
std::wstring expand(const std::wstring& text, const std::wstring& name) {
  if (wcslen(text.c_str()) > longest_expansion_source) throw_expansion_failure(name, ERROR_INSUFFICIENT_BUFFER);
  std::vector<wchar_t> buffer(expansion_units, L'\0');
  const DWORD count = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (count == 0) throw_expansion_failure(name, GetLastError());
  // A result that did not fit is reported by a count beyond the buffer, or (where the platform
  // caps the buffer below its given size) by a text shorter than the count says.
  if (count > buffer.size() || wcsnlen(buffer.data(), buffer.size()) != count - 1) {
    throw_expansion_failure(name, ERROR_INSUFFICIENT_BUFFER);
  }
  return std::wstring(buffer.data(), count - 1);
}

}  // namespace

key::key(HKEY root) {
  const LONG result = open_key(root, nullptr, handle_);
  if (result != ERROR_SUCCESS) {
    throw key_error(format_text("RegOpenKeyEx() failed: handle %i (%i)",
                                static_cast<int>(reinterpret_cast<std::intptr_t>(root)), static_cast<int>(result)));
  }
}

key key::open(const std::wstring& path) const {
  unique_hkey opened;
  const LONG result = open_key(handle_.get(), path.c_str(), opened);
  if (result != ERROR_SUCCESS) {
    throw key_error(
        format_text("RegOpenKeyEx() failed: key \"%s\" (%i)", message_name(path).c_str(), static_cast<int>(result)));
  }
  return key(std::move(opened));
}

std::wstring key::read_string(const std::wstring& name) const {
  const value_info info = probe(handle_.get(), name);
  check_string_type(name, info.type);
  std::wstring text = read_exact(handle_.get(), name, info.size);
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  if (info.type == REG_EXPAND_SZ) return expand(text, name);
  return text;
}

std::string key::read_narrow_string(const std::wstring& name) const {
  return unicode::to_narrow(read_string(name), 0, true);
}

void key::write_string(const std::wstring& name, const std::wstring& text) const {
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  const LONG result =
      RegSetValueExW(handle_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (result != ERROR_SUCCESS) {
    throw value_error(
        format_text("RegSetValueEx() failed: value \"%s\" (%i)", message_name(name).c_str(), static_cast<int>(result)));
  }
}

value_info probe(HKEY key, const std::wstring& name) {
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_FILE_NOT_FOUND) type = REG_NONE;
  return {type, size};
}

void check_string_type(const std::wstring& name, std::uint32_t type) {
  if (type == REG_NONE) throw value_error(format_text("Not found: value \"%s\"", message_name(name).c_str()));
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw type_mismatch(format_text("Type mismatch: value \"%s\" expected %i found %i", message_name(name).c_str(),
                                    static_cast<int>(REG_SZ), static_cast<int>(type)));
  }
}

std::wstring read_exact(HKEY key, const std::wstring& name, std::uint32_t size) {
  // One unit more than the value's units, so that an odd last byte fits too.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD reported = size;
  const LONG result =
      RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &reported);
  if (reported != size) {
    throw size_mismatch(format_text("Size mismatch: value \"%s\" expected %i found %i", message_name(name).c_str(),
                                    static_cast<int>(size), static_cast<int>(reported)));
  }
  if (result != ERROR_SUCCESS) {
    throw value_error(
        format_text("RegQueryValueEx() failed: value \"%s\" (%i)", message_name(name).c_str(), static_cast<int>(result)));
  }
  return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

}  // namespace registry2
}  // namespace tessel
