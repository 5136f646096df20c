#include "base/exception.h"

#include <cstdarg>

#include "base/format.h"

namespace tessel {

exception::exception(const std::string& message) : message_text(message) {}

exception::~exception() = default;

std::string exception::formatted(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const va_end_guard guard{args};
  return format_text_v(format, args);
}

const char* exception::what() const noexcept {
  what_text = category_text + "[" + message_text + "]";
  return what_text.c_str();
}

const char* exception::message() const { return message_text.c_str(); }

const char* exception::category() const { return category_text.c_str(); }

void exception::append_category(const char* part) {
  if (!category_text.empty()) category_text += '.';
  category_text += part;
}

namespace log {

generic::generic(const std::string& message) : tessel::exception(message) { append_category("log"); }

}  // namespace log

namespace registry2 {

generic::generic(const std::string& message) : tessel::exception(message) { append_category("registry2"); }
key_error::key_error(const std::string& message) : generic(message) { append_category("key_error"); }
value_error::value_error(const std::string& message) : generic(message) { append_category("value_error"); }
type_mismatch::type_mismatch(const std::string& message) : generic(message) { append_category("type_mismatch"); }
size_mismatch::size_mismatch(const std::string& message) : generic(message) { append_category("size_mismatch"); }

}  // namespace registry2

namespace unicode {

generic::generic(const std::string& message) : tessel::exception(message) { append_category("unicode"); }
out_of_memory::out_of_memory(const std::string& message) : generic(message) { append_category("out_of_memory"); }
invalid_codepage::invalid_codepage(const std::string& message) : generic(message) {
  append_category("invalid_codepage");
}
unmappable_character::unmappable_character(const std::string& message) : generic(message) {
  append_category("unmappable_character");
}

}  // namespace unicode

}  // namespace tessel
