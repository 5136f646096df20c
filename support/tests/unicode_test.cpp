#include "support/unicode.h"

#include <gtest/gtest.h>

#include <string>

#include "support/windows.h"

namespace {

using tessel::unicode::to_narrow;
using tessel::unicode::to_wide;

// The category of the tessel::unicode exception that `convert` throws, or "none".
template <class Conversion>
std::string thrown_category(Conversion convert) {
  try {
    convert();
  } catch (const tessel::unicode::generic& e) {
    // Every exception of the conversions carries an empty message.
    EXPECT_EQ(std::string(e.what()), std::string(e.category()) + "[]");
    return e.category();
  }
  return "none";
}

struct narrow_case {
  const char* name;
  std::wstring text;
  unsigned code_page;
  bool strict;
  std::string expected;  // used when `failure` is "none"
  const char* failure;   // the category thrown, or "none"
};

const narrow_case narrow_cases[] = {
    {"empty input, code page not installed", L"", 12345, true, "", "none"},
    {"code page not installed", L"abc", 12345, false, "", "unicode.invalid_codepage"},
    {"ANSI code page, ASCII", L"abc", 0, true, "abc", "none"},
    {"no room in 1252, strict", L"\u4E2D", 1252, true, "", "unicode.unmappable_character"},
    {"no room in 1252, lenient", L"\u4E2D", 1252, false, "?", "none"},
    {"unmappable among mappable, strict", L"a\u4E2Db", 1252, true, "", "unicode.unmappable_character"},
    {"unmappable among mappable, lenient", L"a\u4E2Db", 1252, false, "a?b", "none"},
    {"best fit counts as representable", L"\u0100", 1252, true, "A", "none"},
    {"1252 upper half", L"\u00E9\u20AC", 1252, true, "\xE9\x80", "none"},
    {"UTF-8, three bytes from one unit", L"\u4E2D", 65001, true, "\xE4\xB8\xAD", "none"},
    {"UTF-8, surrogate pair", L"\U0001F600", 65001, true, "\xF0\x9F\x98\x80", "none"},
    {"932, two bytes from one unit", L"\u4E2D", 932, true, "\x92\x86", "none"},
    // UTF-7 takes no default-character indicator: strict must not ask for one.
    {"UTF-7 ignores strict", L"a\u4E2D", 65000, true, "a+Ti0-", "none"},
};

TEST(ToNarrow, Cases) {
  for (const narrow_case& c : narrow_cases) {
    SCOPED_TRACE(c.name);
    std::string result;
    EXPECT_EQ(thrown_category([&] { result = to_narrow(c.text, c.code_page, c.strict); }), c.failure);
    if (std::string(c.failure) == "none") {
      EXPECT_EQ(result, c.expected);
    }
  }
}

TEST(ToNarrow, LongTextInUtf8IsComplete) {
  const std::string result = to_narrow(std::wstring(300, L'\u4E2D'), 65001, true);
  ASSERT_EQ(result.size(), 900u);
  EXPECT_EQ(result.substr(897), "\xE4\xB8\xAD");
}

TEST(ToNarrow, LoneSurrogateIntoUtf8DoesNotThrow) {
  std::string result;
  EXPECT_EQ(thrown_category([&] { result = to_narrow(std::wstring(L"a") + L'\xD800' + L"b", 65001, true); }), "none");
  ASSERT_GE(result.size(), 3u);
  EXPECT_EQ(result.front(), 'a');
  EXPECT_EQ(result.back(), 'b');
}

TEST(ToNarrow, InputIsUnchanged) {
  const std::wstring text = L"x\u4E2Dy";
  to_narrow(text, 1252, false);
  EXPECT_EQ(text, L"x\u4E2Dy");
}

struct wide_case {
  const char* name;
  std::string text;
  unsigned code_page;
  std::wstring expected;
  const char* failure;
};

const wide_case wide_cases[] = {
    {"empty input, code page not installed", "", 12345, L"", "none"},
    {"code page not installed", "abc", 12345, L"", "unicode.invalid_codepage"},
    {"ANSI code page, ASCII", "abc", 0, L"abc", "none"},
    {"lead byte without trail byte in 932", "\x81", 932, L"", "unicode.unmappable_character"},
    {"complete double-byte character in 932", "\x92\x86", 932, L"\u4E2D", "none"},
    {"1252 upper half", "\xE9\x80", 1252, L"\u00E9\u20AC", "none"},
    {"UTF-8", "a\xE4\xB8\xAD" "b", 65001, L"a\u4E2Db", "none"},
    // UTF-7 takes no flags: asking for invalid-character checks would make the converter fail.
    {"UTF-7", "+AGE-", 65000, L"a", "none"},
};

TEST(ToWide, Cases) {
  for (const wide_case& c : wide_cases) {
    SCOPED_TRACE(c.name);
    std::wstring result;
    EXPECT_EQ(thrown_category([&] { result = to_wide(c.text, c.code_page); }), c.failure);
    if (std::string(c.failure) == "none") {
      EXPECT_EQ(result, c.expected);
    }
  }
}

TEST(ToWide, MalformedUtf8IsReplacedNotReported) {
  std::wstring result;
  EXPECT_EQ(thrown_category([&] { result = to_wide("a\xFF" "b\xE4\xB8\xAD", 65001); }), "none");
  ASSERT_GE(result.size(), 3u);
  EXPECT_EQ(result.front(), L'a');
  EXPECT_EQ(result.back(), L'\u4E2D');
  EXPECT_NE(result.find(L'b'), std::wstring::npos);
}

TEST(Conversions, RoundTripThroughUtf8) {
  const std::wstring text = L"Gr\u00FC\u00DFe \u4E2D\u6587 \U0001F600";
  EXPECT_EQ(to_wide(to_narrow(text, 65001, true), 65001), text);
}

TEST(Conversions, CaughtAsEveryBase) {
  EXPECT_THROW(to_narrow(L"x", 12345, false), tessel::unicode::invalid_codepage);
  EXPECT_THROW(to_narrow(L"x", 12345, false), tessel::exception);
  EXPECT_THROW(to_wide("\x81", 932), tessel::unicode::unmappable_character);
  EXPECT_THROW(to_wide("\x81", 932), std::exception);
}

}  // namespace
