#include "base/wtf8.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

utf16_text units_of(std::initializer_list<unsigned> units) {
  utf16_text text;
  for (const unsigned unit : units) text += static_cast<utf16_unit>(unit);
  return text;
}

TEST(wtf8, every_utf16_text_converts_to_bytes_and_back_unchanged) {
  const struct {
    const char* name;
    utf16_text units;
    std::string bytes;
  } cases[] = {
      {"ascii", units_of({'C', ':', '\\', 'Q'}), "C:\\Q"},
      {"cyrillic", units_of({0x41F, 0x430}), "\xD0\x9F\xD0\xB0"},
      {"cjk", units_of({0x6587, 0x4EF6}), "\xE6\x96\x87\xE4\xBB\xB6"},
      {"emoji, a surrogate pair", units_of({0xD83D, 0xDCE6}), "\xF0\x9F\x93\xA6"},
      {"unpaired high surrogate", units_of({0xD83D, 'x'}), "\xED\xA0\xBDx"},
      {"unpaired low surrogate", units_of({0xDCA6}), "\xED\xB2\xA6"},
      {"swapped pair", units_of({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},
  };
  for (const auto& c : cases) {
    const std::string bytes = wtf8_from_utf16(c.units.data(), c.units.size());
    EXPECT_EQ(bytes, c.bytes) << c.name;
    EXPECT_TRUE(utf16_from_wtf8(bytes) == c.units) << c.name;
    EXPECT_EQ(utf16_length(bytes), c.units.size()) << c.name;
  }
}

TEST(wtf8, bytes_that_are_no_sequence_become_one_replacement_each) {
  const struct {
    const char* bytes;
    std::size_t units;
  } cases[] = {
      {"\x80", 1}, {"\xC0\xAF", 2} /* an overlong '/' */, {"\xE6\x96", 2} /* cut short */,
      {"\xF4\x90\x80\x80", 4} /* above U+10FFFF */, {"a\xFFz", 3},
  };
  for (const auto& c : cases) {
    const utf16_text units = utf16_from_wtf8(c.bytes);
    EXPECT_EQ(units.size(), c.units) << c.bytes;
    EXPECT_EQ(utf16_length(c.bytes), c.units) << c.bytes;
    EXPECT_NE(units.find(static_cast<utf16_unit>(0xFFFD)), utf16_text::npos) << c.bytes;
    EXPECT_EQ(units.find(static_cast<utf16_unit>('/')), utf16_text::npos) << "an overlong form never yields its character";
  }
}

// Strict UTF-8 refuses what WTF-8 carries (a surrogate) and every byte that starts no sequence.
TEST(wtf8, strict_utf8_refuses_surrogates_and_stray_bytes) {
  const std::pair<const char*, bool> cases[] = {
      {"", true},          {"a\xC3\xA9\xE6\x96\x87\xF0\x9F\x98\x80", true}, {"\xED\xA0\x80", false} /* U+D800 */,
      {"\xC0\xAF", false}, {"\xE6\x96", false},                                    {"\xF4\x90\x80\x80", false},
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(is_valid_utf8(bytes), valid) << bytes;
}

}  // namespace
