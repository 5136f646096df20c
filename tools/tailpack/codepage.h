// Texts in a Windows code page (the package's texts are in the target machine's ANSI code page),
// converted from and to the UTF-8 that tailpack uses inside. The conversions themselves are the
// platform's: iconv on POSIX systems, the Win32 converters on Windows.
#pragma once
#include <stdexcept>
#include <string>

#include "base/wtf8.h"  // is_valid_utf8

namespace tailpack {

class conversion_error : public std::runtime_error {
 public:
  enum class kind {
    unknown_code_page,  // the platform has no converter for the code page
    invalid_input,      // the bytes are not valid in their encoding (UTF-8, or the code page)
    unmappable,         // the code page cannot hold a character of the text
  };
  conversion_error(kind what, const std::string& message) : std::runtime_error(message), what_kind(what) {}
  kind what_kind;
};

bool is_ascii(const std::string& text);

// `utf8` in `code_page`. A character that the code page cannot hold exactly (also one that the
// platform would replace by a look-alike) is refused: the result always decodes back to `utf8`.
// Throws conversion_error.
std::string utf8_to_code_page(const std::string& utf8, unsigned code_page);

// `bytes` in `code_page` decoded to UTF-8. Throws conversion_error when the bytes are not valid in
// the code page, or decode to a C1 control or a private-use character (what converters give for a
// byte the code page leaves undefined), so that Linux and Windows agree; or when it is unknown.
std::string code_page_to_utf8(const std::string& bytes, unsigned code_page);

// --- Platform halves (codepage_iconv.cpp, codepage_win32.cpp): plain conversions, valid UTF-8 in ---

std::string encode_with_platform(const std::string& utf8, unsigned code_page);
std::string decode_with_platform(const std::string& bytes, unsigned code_page);

}  // namespace tailpack
