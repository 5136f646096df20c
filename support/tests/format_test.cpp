#include "support/format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace {

// Lengths around the first buffer (1024 characters) and its doublings.
constexpr std::size_t lengths[] = {0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 4096, 5000, 100000};

TEST(FormatText, NarrowTextIsNeverCut) {
  for (const std::size_t length : lengths) {
    const std::string payload(length, 'x');
    EXPECT_EQ(tessel::format_text("%s", payload.c_str()), payload) << length;
    // Arguments before and after the long one must survive every retry of the formatting.
    EXPECT_EQ(tessel::format_text("%d<%s>%u", -7, payload.c_str(), 42u), "-7<" + payload + ">42") << length;
  }
}

TEST(FormatText, WideTextIsNeverCut) {
  for (const std::size_t length : lengths) {
    const std::wstring payload(length, L'y');
    EXPECT_EQ(tessel::format_text_w(L"%ls", payload.c_str()), payload) << length;
    EXPECT_EQ(tessel::format_text_w(L"%d<%ls>%u", -7, payload.c_str(), 42u), L"-7<" + payload + L">42") << length;
  }
}

TEST(FormatText, TextOfExactlyTheBufferSizeFromConversions) {
  // 1024 characters produced by a field width rather than a string argument.
  const std::string narrow = tessel::format_text("%01024d", 5);
  ASSERT_EQ(narrow.size(), 1024u);
  EXPECT_EQ(narrow.back(), '5');
  EXPECT_EQ(narrow.find_first_not_of('0'), 1023u);
  const std::wstring wide = tessel::format_text_w(L"%01024d", 5);
  ASSERT_EQ(wide.size(), 1024u);
  EXPECT_EQ(wide.back(), L'5');
}

TEST(FormatText, Conversions) {
  EXPECT_EQ(tessel::format_text("OpenMutex returned 0x%08x", 0x120u), "OpenMutex returned 0x00000120");
  EXPECT_EQ(tessel::format_text("%s=%d", "a", 1), "a=1");
  EXPECT_EQ(tessel::format_text("100%%"), "100%");
  EXPECT_EQ(tessel::format_text_w(L"%08X", 5), L"00000005");
  EXPECT_EQ(tessel::format_text_w(L"%08x", 0xABCu), L"00000abc");
  // ISO conversions on every platform: %s takes a narrow string, %ls a wide one.
  EXPECT_EQ(tessel::format_text_w(L"%s|%ls", "narrow", L"wide"), L"narrow|wide");
  EXPECT_EQ(tessel::format_text_w(L""), L"");
}

TEST(FormatText, WideEncodingErrorEndsWithoutGarbage) {
  // A narrow byte outside ASCII in the C locale: some libraries convert it, others report an
  // encoding error. Either way the result is complete or the failure is reported.
  try {
    const std::wstring text = tessel::format_text_w(L"<%s>", "\xE9");
    EXPECT_EQ(text.size(), 3u);
    EXPECT_EQ(text.front(), L'<');
    EXPECT_EQ(text.back(), L'>');
  } catch (const std::runtime_error&) {
  }
}

}  // namespace
