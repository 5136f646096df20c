// Code-page conversion through the Win32 converters (the support library's), on Windows.
#include "support/unicode.h"
#include "tools/tailpack/codepage.h"

namespace tailpack {

namespace {

using tessel::unicode::utf8_code_page;

[[noreturn]] void rethrow_as_conversion_error(unsigned code_page, conversion_error::kind bad_input,
                                              const std::string& message) {
  try {
    throw;
  } catch (const tessel::unicode::invalid_codepage&) {
    throw conversion_error(conversion_error::kind::unknown_code_page,
                           "code page " + std::to_string(code_page) + " is not known here");
  } catch (const tessel::unicode::generic&) {
    throw conversion_error(bad_input, message);
  }
}

}  // namespace

std::string encode_with_platform(const std::string& utf8, unsigned code_page) {
  const std::wstring wide = tessel::unicode::to_wide(utf8, utf8_code_page);
  try {
    return tessel::unicode::to_narrow(wide, code_page, true);
  } catch (...) {
    rethrow_as_conversion_error(code_page, conversion_error::kind::unmappable,
                                "code page " + std::to_string(code_page) + " cannot hold every character of the text");
  }
}

std::string decode_with_platform(const std::string& bytes, unsigned code_page) {
  std::wstring wide;
  try {
    wide = tessel::unicode::to_wide(bytes, code_page);
  } catch (...) {
    rethrow_as_conversion_error(code_page, conversion_error::kind::invalid_input,
                                "the bytes are not a text in code page " + std::to_string(code_page));
  }
  return tessel::unicode::to_narrow(wide, utf8_code_page, false);
}

}  // namespace tailpack
