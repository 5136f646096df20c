// The run's texts (WTF-8: paths, command lines, messages) at the system's wide calls. Windows only.
#pragma once
#include <string>

namespace tessel {

// `text` in UTF-16, for a wide call.
std::wstring wide(const std::string& text);

// A wide call's text as the run holds it.
std::string from_wide(const wchar_t* text, std::size_t length);
inline std::string from_wide(const std::wstring& text) { return from_wide(text.data(), text.size()); }

// Bytes in the system's ANSI code page, decoded as the system's narrow calls decode them (bytes
// that are no character in it become the code page's default), as the run's text.
std::string from_ansi(const std::string& bytes);

// `path` for the file calls that take paths longer than MAX_PATH: made full as the system makes a
// path full ('/' read as '\', "." and ".." resolved) and prefixed "\\?\" ("\\?\UNC\" for a
// share). A path already in that form, a device path, or one that cannot be made full is
// returned as it is.
std::wstring extended_path(const std::string& path);

}  // namespace tessel
