// Texts as tailpack shows and reads them: package texts are bytes, shown escaped.
#pragma once
#include <string>

namespace tailpack {

// `bytes` with printable ASCII kept, '\\' and '"' preceded by a backslash and every other byte
// written as \xNN (two lower-case hex digits). Never empty-looking: the caller adds quotes.
std::string escape_text(const std::string& bytes);

// `bytes` as they are, except control characters (below 0x20, and 0x7f) written as \xNN, so that
// the text stays on one line.
std::string escape_controls(const std::string& bytes);

// escape_text(bytes) between double quotes.
std::string quoted(const std::string& bytes);

// The inverse of escape_text: \\, \" and \xNN (exactly two hex digits). Throws std::invalid_argument
// naming the position of any other backslash sequence.
std::string unescape_text(const std::string& text);

// The last component of `path`: the text after the last character that is one of `separators`.
std::string base_name(const std::string& path, const char* separators);

}  // namespace tailpack
