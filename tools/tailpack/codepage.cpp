#include "tools/tailpack/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tailpack {

bool is_ascii(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

namespace {

// The length of the UTF-8 character at `at` (1 for a byte that starts none), its code point in `code`.
std::size_t character_at(const std::string& utf8, std::size_t at, std::uint32_t& code) {
  return std::max<std::size_t>(sequence_at(utf8, at, code), 1);
}

bool round_trips(const std::string& utf8, unsigned code_page) {
  try {
    return decode_with_platform(encode_with_platform(utf8, code_page), code_page) == utf8;
  } catch (const conversion_error&) {
    return false;
  }
}

// "U+0423 \"У\"": the first character of `utf8` that the code page cannot hold on its own, or
// empty when each can.
std::string first_unmappable(const std::string& utf8, unsigned code_page) {
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t code = 0;
    const std::size_t length = character_at(utf8, i, code);
    const std::string character = utf8.substr(i, length);
    if (!round_trips(character, code_page)) {
      char number[16];
      std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
      return std::string(number) + " \"" + character + "\"";
    }
    i += length;
  }
  return "";
}

constexpr unsigned utf8_code_page = 65001;

// True when `utf8` (valid) holds a C1 control (U+0080 to U+009F) or a private-use character
// (U+E000 to U+F8FF). No ANSI code page assigns a character there: they are what a converter
// gives for a byte the code page leaves undefined (Windows maps byte 0x81 of 1252 to U+0081, where
// iconv refuses it), so both platforms count such bytes as undecodable.
bool has_unassigned_mark(const std::string& utf8) {
  std::uint32_t code = 0;
  for (std::size_t i = 0; i < utf8.size(); i += character_at(utf8, i, code)) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead == 0xc2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xa0) return true;
    if (lead == 0xee || (lead == 0xef && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xa4))
      return true;
  }
  return false;
}

}  // namespace

std::string utf8_to_code_page(const std::string& utf8, unsigned code_page) {
  if (!is_valid_utf8(utf8)) throw conversion_error(conversion_error::kind::invalid_input, "the text is not UTF-8");
  if (utf8.empty()) return utf8;
  // A converter may map a character it lacks to a look-alike (best fit): such a text would not
  // be the one given, so the result must decode back to the text.
  std::string bytes, back;
  try {
    bytes = encode_with_platform(utf8, code_page);
    back = decode_with_platform(bytes, code_page);
  } catch (const conversion_error& e) {
    if (e.what_kind == conversion_error::kind::unknown_code_page) throw;
  }
  if (back != utf8) {
    const std::string character = first_unmappable(utf8, code_page);
    throw conversion_error(conversion_error::kind::unmappable,
                           "code page " + std::to_string(code_page) + " cannot hold " +
                               (character.empty() ? "the text exactly" : character));
  }
  return bytes;
}

std::string code_page_to_utf8(const std::string& bytes, unsigned code_page) {
  if (bytes.empty()) return bytes;
  const std::string utf8 = decode_with_platform(bytes, code_page);
  if (code_page != utf8_code_page && has_unassigned_mark(utf8))
    throw conversion_error(conversion_error::kind::invalid_input,
                           "the bytes are not a text in code page " + std::to_string(code_page));
  return utf8;
}

}  // namespace tailpack
