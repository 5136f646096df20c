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



}  // namespace tailpack
