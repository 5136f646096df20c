#include "base/format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace {

TEST(FormatText, TextIsNeverCut) {
  // Lengths around the first buffer (1024 characters) and its doublings.
  for (const std::size_t length : {0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 4096, 5000, 100000}) {
    const std::string narrow(length, 'x');
    const std::wstring wide(length, L'y');
    EXPECT_EQ(tessel::format_text("%s", narrow.c_str()), narrow) << length;
    EXPECT_EQ(tessel::format_text_w(L"%ls", wide.c_str()), wide) << length;
    // Arguments before and after the long one must survive every retry of the formatting.
    EXPECT_EQ(tessel::format_text("%d<%s>%u", -7, narrow.c_str(), 42u), "-7<" + narrow + ">42") << length;
    EXPECT_EQ(tessel::format_text_w(L"%d<%ls>%u", -7, wide.c_str(), 42u), L"-7<" + wide + L">42") << length;
  }
}

TEST(FormatText, WideFormatTakesIsoConversions) {
  // On every platform %s takes a narrow string and %ls a wide one.
  EXPECT_EQ(tessel::format_text_w(L"%s|%ls|%08X", "narrow", L"wide", 0xABCu), L"narrow|wide|00000ABC");
}

TEST(FormatText, WideEncodingErrorEndsWithoutGarbage) {
  // A narrow byte outside ASCII in the C locale: some libraries convert it, others report an
  // encoding error. Either way the result is complete or the failure is reported.
  try {
    const std::wstring text = tessel::format_text_w(L"<%s>", "\xE9");
    EXPECT_EQ(text.size(), 3u);
    EXPECT_EQ(text.front(), L'<');
    EXPECT_EQ(text.back(), L'>');
  } catch (const tessel::format_error& error) {
    EXPECT_STREQ(error.what(), "format_text_w: encoding error");
  }
}

}  // namespace
