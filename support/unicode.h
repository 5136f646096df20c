// Conversion between narrow text (bytes in a named code page) and wide text (UTF-16). Windows only.
#pragma once
#include <string>

#include "base/exception.h"

namespace tessel {
namespace unicode {

// The code pages the program names: the system's ANSI code page (CP_ACP) and UTF-8 (CP_UTF8).
constexpr unsigned ansi_code_page = 0;
constexpr unsigned utf8_code_page = 65001;

// Converts UTF-16 `text` to bytes in `code_page` (0 is the system's ANSI code page, 65001 UTF-8).
// With `strict` a character that falls back to the code page's default character throws
// unmappable_character; without it the default character is used. Best-fit replacements count as
// representable. For UTF-7, UTF-8 and the other code pages that take no conversion flags, `strict`
// has no effect. An empty `text` gives an empty result for any code page.
// Throws invalid_codepage, unmappable_character, out_of_memory (output buffer too small) or
// generic; std::bad_alloc when the buffer cannot be allocated.
std::string to_narrow(const std::wstring& text, unsigned code_page, bool strict);

// Converts bytes in `code_page` to UTF-16. Input that is not valid in the code page throws
// unmappable_character, except for the code pages that take no conversion flags (UTF-8 among
// them), which replace it by the platform's rules. An empty `text` gives an empty result.
// Throws invalid_codepage, unmappable_character, out_of_memory or generic.
std::wstring to_wide(const std::string& text, unsigned code_page);

}  // namespace unicode
}  // namespace tessel
