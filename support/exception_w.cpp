#include <cstdarg>

#include "base/exception.h"
#include "base/format.h"
#include "support/unicode.h"

namespace tessel {

exception_w::exception_w(const wchar_t* format, ...) : exception(std::string()) {
  std::va_list args;
  va_start(args, format);
  const va_end_guard guard{args};
  message_text_w = format_text_wv(format, args);
}

exception_w::~exception_w() = default;

void exception_w::narrow() const {
  if (narrowed) return;
  // Characters the ANSI code page cannot represent become its default character. Both
  // conversions first, so that a failure leaves the object as it was.
  std::string category = unicode::to_narrow(category_text_w, unicode::ansi_code_page, false);
  std::string message = unicode::to_narrow(message_text_w, unicode::ansi_code_page, false);
  category_text = std::move(category);
  message_text = std::move(message);
  narrowed = true;
}

const char* exception_w::what() const noexcept {
  try {
    narrow();
  } catch (...) {
    // Nothing may leave `what`; compose from the narrow fields as they are.
  }
  return exception::what();
}

const char* exception_w::message() const {
  narrow();
  return exception::message();
}

const char* exception_w::category() const {
  narrow();
  return exception::category();
}

const wchar_t* exception_w::what_w() const {
  what_text_w = category_text_w + L"[" + message_text_w + L"]";
  return what_text_w.c_str();
}

const wchar_t* exception_w::message_w() const { return message_text_w.c_str(); }

const wchar_t* exception_w::category_w() const { return category_text_w.c_str(); }

}  // namespace tessel
