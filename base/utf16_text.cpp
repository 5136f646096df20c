// The strict conversions between UTF-8 and std::u16string, for tailpack's resources. Kept out of
// wtf8.cpp, which the stub links: their library string code would come with it.
#include "base/wtf8.h"

#include <stdexcept>

std::u16string utf8_to_utf16(const std::string& utf8) {
  if (!is_valid_utf8(utf8)) throw std::invalid_argument("not UTF-8");
  std::u16string out;
  for (const utf16_unit unit : utf16_from_wtf8(utf8)) out += static_cast<char16_t>(unit);
  return out;
}

std::string utf16_to_utf8(const std::u16string& utf16) {
  // An unpaired surrogate, which WTF-8 would carry, shows as U+FFFD.
  std::u16string units = utf16;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const bool pair = units[i] >= 0xd800 && units[i] < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000;
    if (is_surrogate(units[i]) && !pair) units[i] = 0xfffd;
    if (pair) ++i;
  }
  const utf16_text wide(units.begin(), units.end());
  return wtf8_from_utf16(wide.data(), wide.size());
}
