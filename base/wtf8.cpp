#include "base/wtf8.h"

std::size_t sequence_at(const std::string& text, std::size_t at, std::uint32_t& code_point) {
  const auto byte = [&text](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])); };
  const std::uint32_t lead = byte(at);
  std::size_t length = 1;
  std::uint32_t lowest = 0;
  code_point = lead;
  if (lead >= 0xF0 && lead < 0xF5) {
    length = 4, code_point = lead & 0x07, lowest = 0x10000;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, code_point = lead & 0x0F, lowest = 0x800;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2, code_point = lead & 0x1F, lowest = 0x80;
  } else if (lead >= 0x80) {
    return 0;
  }
  if (length > text.size() - at) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code_point = code_point << 6 | (byte(at + i) & 0x3F);
  }
  return code_point < lowest || code_point > 0x10FFFF ? 0 : length;
}

bool is_valid_utf8(const std::string& text) {
  std::uint32_t code_point = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = sequence_at(text, at, code_point);
    if (length == 0 || is_surrogate(code_point)) return false;
    at += length;
  }
  return true;
}

std::uint32_t next_code_point(const std::string& text, std::size_t& at) {
  std::uint32_t code_point = 0;
  const std::size_t length = sequence_at(text, at, code_point);
  at += length == 0 ? 1 : length;
  return length == 0 ? 0xFFFD : code_point;
}

void append_wtf8(std::string& text, std::uint32_t code_point) {
  if (code_point < 0x80) {
    text += static_cast<char>(code_point);
    return;
  }
  const int tail = code_point < 0x800 ? 1 : code_point < 0x10000 ? 2 : 3;
  static const unsigned char lead_marks[] = {0, 0xC0, 0xE0, 0xF0};
  text += static_cast<char>(lead_marks[tail] | code_point >> (6 * tail));
  for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) text += static_cast<char>(0x80 | ((code_point >> shift) & 0x3F));
}

std::size_t utf16_length(const std::string& text) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < text.size();) units += next_code_point(text, at) > 0xFFFF ? 2 : 1;
  return units;
}

utf16_text utf16_from_wtf8(const std::string& text) {
  // Sized once and written by index: the smallest code for the stub, which converts every path.
  utf16_text units(utf16_length(text), utf16_unit());
  std::size_t out = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::uint32_t code_point = next_code_point(text, at);
    if (code_point > 0xFFFF) {
      units[out++] = static_cast<utf16_unit>(0xD800 + ((code_point - 0x10000) >> 10));
      units[out++] = static_cast<utf16_unit>(0xDC00 + (code_point & 0x3FF));
    } else {
      units[out++] = static_cast<utf16_unit>(code_point);
    }
  }
  return units;
}

std::string wtf8_from_utf16(const utf16_unit* units, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t unit = static_cast<std::uint16_t>(units[i]);
    const std::uint32_t next = i + 1 < length ? static_cast<std::uint16_t>(units[i + 1]) : 0;
    if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
      append_wtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
      ++i;
    } else {
      append_wtf8(text, unit);
    }
  }
  return text;
}
