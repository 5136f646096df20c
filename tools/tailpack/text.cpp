#include "tools/tailpack/text.h"

#include <stdexcept>

namespace tailpack {

namespace {

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_hex_escape(std::string& out, unsigned char byte) {
  static const char digits[] = "0123456789abcdef";
  out += "\\x";
  out += digits[byte >> 4];
  out += digits[byte & 0xf];
}

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

}  // namespace

std::string escape_text(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x7f && !is_control(byte)) {
      out += c;
    } else {
      append_hex_escape(out, byte);
    }
  }
  return out;
}

std::string escape_controls(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (is_control(byte)) {
      append_hex_escape(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string quoted(const std::string& bytes) { return '"' + escape_text(bytes) + '"'; }

std::string unescape_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    const std::string where = " at position " + std::to_string(i) + " of \"" + text + "\"";
    if (i + 1 >= text.size()) throw std::invalid_argument("lone backslash" + where);
    const char next = text[i + 1];
    if (next == '\\' || next == '"') {
      out += next;
      ++i;
      continue;
    }
    if (next != 'x') throw std::invalid_argument(std::string("unknown escape \\") + next + where);
    const int high = i + 2 < text.size() ? hex_digit_value(text[i + 2]) : -1;
    const int low = i + 3 < text.size() ? hex_digit_value(text[i + 3]) : -1;
    if (high < 0 || low < 0) throw std::invalid_argument("\\x needs two hex digits" + where);
    out += static_cast<char>(high << 4 | low);
    i += 3;
  }
  return out;
}

std::string base_name(const std::string& path, const char* separators) {
  const std::size_t last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(last + 1);
}


std::u16string utf8_to_utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t count = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (count == 0 || i + count > utf8.size()) throw std::invalid_argument("not UTF-8");
    char32_t c = count == 1 ? lead : lead & (0x7f >> count);
    for (std::size_t k = 1; k < count; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xc0) != 0x80) throw std::invalid_argument("not UTF-8");
      c = c << 6 | (next & 0x3f);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[count] || c > 0x10ffff || (c >= 0xd800 && c < 0xe000)) throw std::invalid_argument("not UTF-8");
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += count;
  }
  return out;
}

std::string utf16_to_utf8(const std::u16string& utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xd800 && c < 0xdc00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xdc00 && utf16[i + 1] < 0xe000) {
      c = 0x10000 + ((c - 0xd800) << 10) + (utf16[++i] - 0xdc00);
    } else if (c >= 0xd800 && c < 0xe000) {
      c = 0xfffd;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xc0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xe0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return out;
}

}  // namespace tailpack
