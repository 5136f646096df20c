#include "support/unicode.h"

#include <gtest/gtest.h>

#include <string>

#include "support/tests/test_helpers.h"

namespace {

using tessel::test::thrown;
using tessel::unicode::to_narrow;
using tessel::unicode::to_wide;

std::string repeated(const std::string& text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

TEST(ToNarrow, Cases) {
  const struct {
    std::wstring text;
    unsigned code_page;
    bool strict;
    std::string expected;  // used when `failure` is "none"
    const char* failure;   // the text thrown (its message is always empty), or "none"
  } cases[] = {
      {L"", 12345, true, "", "none"},  // empty input: the code page is never looked at
      {L"abc", 12345, false, "", "unicode.invalid_codepage[]"},
      {L"abc", 0, true, "abc", "none"},  // the ANSI code page
      {L"a\u4E2Db", 1252, true, "", "unicode.unmappable_character[]"},
      {L"a\u4E2Db", 1252, false, "a?b", "none"},
      {L"\u0100", 1252, true, "A", "none"},  // a best fit counts as representable
      {L"\u00E9\u20AC", 1252, true, "\xE9\x80", "none"},
      {std::wstring(300, L'\u4E2D'), 65001, true, repeated("\xE4\xB8\xAD", 300), "none"},
      // UTF-7 takes no default-character indicator: strict must not ask for one.
      {L"a\u4E2D", 65000, true, "a+Ti0-", "none"},
  };
  for (const auto& c : cases) {
    std::string result;
    EXPECT_EQ(thrown([&] { result = to_narrow(c.text, c.code_page, c.strict); }), c.failure)
        << c.code_page << " " << c.expected;
    EXPECT_EQ(result, c.expected);
  }
  // A lone surrogate into UTF-8 is replaced by the platform's rules, never reported.
  const std::string lone = to_narrow(std::wstring(L"a") + L'\xD800' + L"b", 65001, true);
  ASSERT_GE(lone.size(), 3u);
  EXPECT_EQ(lone.front(), 'a');
  EXPECT_EQ(lone.back(), 'b');
}

TEST(ToWide, Cases) {
  const struct {
    std::string text;
    unsigned code_page;
    std::wstring expected;
    const char* failure;
  } cases[] = {
      {"", 12345, L"", "none"},
      {"abc", 12345, L"", "unicode.invalid_codepage[]"},
      {"abc", 0, L"abc", "none"},
      {"\x81", 932, L"", "unicode.unmappable_character[]"},  // a lead byte without its trail byte
      {"\xE9\x80", 1252, L"\u00E9\u20AC", "none"},
      {"a\xE4\xB8\xAD"
       "b",
       65001, L"a\u4E2Db", "none"},
      // UTF-7 takes no flags: asking for invalid-character checks would make the converter fail.
      {"+AGE-", 65000, L"a", "none"},
  };
  for (const auto& c : cases) {
    std::wstring result;
    EXPECT_EQ(thrown([&] { result = to_wide(c.text, c.code_page); }), c.failure) << c.text;
    EXPECT_EQ(result, c.expected);
  }
  // Malformed UTF-8 is replaced, not reported.
  const std::wstring malformed = to_wide(
      "a\xFF"
      "b\xE4\xB8\xAD",
      65001);
  ASSERT_GE(malformed.size(), 3u);
  EXPECT_EQ(malformed.front(), L'a');
  EXPECT_EQ(malformed.back(), L'\u4E2D');
  EXPECT_NE(malformed.find(L'b'), std::wstring::npos);
}

}  // namespace
