// One-line fields for the report files of the end-to-end tools: a report line is
// "name<TAB>value", and a value never holds a raw tab, line break or carriage return.
#pragma once
#include <string>

namespace e2e {

// Backslash becomes "\\", tab "\t", line feed "\n", carriage return "\r"; every other byte stays.
inline std::string escape_field(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// The inverse of escape_field; an unknown escape keeps the character behind the backslash.
inline std::string unescape_field(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

}  // namespace e2e
