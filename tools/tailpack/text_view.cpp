#include "tools/tailpack/text_view.h"

#include "tools/tailpack/codepage.h"
#include "tools/tailpack/text.h"

namespace tailpack {

std::string quoted_utf8(const std::string& utf8) {
  if (!is_valid_utf8(utf8)) return quoted(utf8);
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      out += escape_controls(std::string(1, c));
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::optional<std::string> text_view::decode(const std::string& bytes) const {
  if (utf8_) return is_valid_utf8(bytes) ? std::optional<std::string>(bytes) : std::nullopt;
  if (!code_page_) return std::nullopt;
  try {
    return code_page_to_utf8(bytes, *code_page_);
  } catch (const conversion_error&) {
    return std::nullopt;
  }
}

std::string text_view::quote(const std::string& bytes) const {
  const std::optional<std::string> text = decode(bytes);
  return text ? quoted_utf8(*text) : quoted(bytes);
}

std::string text_view::plain(const std::string& bytes) const {
  const std::optional<std::string> text = decode(bytes);
  return escape_controls(text ? *text : bytes);
}

}  // namespace tailpack
