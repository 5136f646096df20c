#include "diagnostics/exception.h"

#include <gtest/gtest.h>

#include <string>

#include "support/windows.h"

namespace {

TEST(ExceptionW, TextWithoutConversions) {
  const tessel::exception_w e(L"Error. config::init. GetModuleFileName return 0.");
  EXPECT_STREQ(e.what_w(), L"[Error. config::init. GetModuleFileName return 0.]");
  EXPECT_STREQ(e.message_w(), L"Error. config::init. GetModuleFileName return 0.");
  EXPECT_STREQ(e.category_w(), L"");
  EXPECT_STREQ(e.what(), "[Error. config::init. GetModuleFileName return 0.]");
  EXPECT_STREQ(e.message(), "Error. config::init. GetModuleFileName return 0.");
  EXPECT_STREQ(e.category(), "");
}

TEST(ExceptionW, FormatsItsMessage) {
  const tessel::exception_w hex(L"code %08X", 5);
  EXPECT_STREQ(hex.message_w(), L"code 00000005");
  EXPECT_STREQ(hex.message(), "code 00000005");

  const tessel::exception_w text(L"%ls: %d", L"file.txt", -2);
  EXPECT_STREQ(text.what_w(), L"[file.txt: -2]");

  const std::wstring long_text(3000, L'w');
  const tessel::exception_w long_message(L"<%ls>", long_text.c_str());
  EXPECT_EQ(std::wstring(long_message.message_w()), L"<" + long_text + L">");
}

TEST(ExceptionW, NarrowTextsReplaceWhatTheCodePageLacks) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects ANSI code page 1252, have " << GetACP();
  const tessel::exception_w e(L"x\u4E2D\u00E9y");
  EXPECT_STREQ(e.message(), "x?\xE9y");
  EXPECT_STREQ(e.what(), "[x?\xE9y]");
  EXPECT_STREQ(e.message_w(), L"x\u4E2D\u00E9y") << "the wide text stays as it was";
}

TEST(ExceptionW, NarrowingWorksFromEveryNarrowAccess) {
  // Each accessor is the first narrow access of its own object.
  const tessel::exception_w by_what(L"abc");
  EXPECT_STREQ(by_what.what(), "[abc]");
  const tessel::exception_w by_message(L"abc");
  EXPECT_STREQ(by_message.message(), "abc");
  const tessel::exception_w by_category(L"abc");
  EXPECT_STREQ(by_category.category(), "");
  EXPECT_STREQ(by_category.what(), "[abc]");
}

TEST(ExceptionW, CaughtAsItsBases) {
  try {
    throw tessel::exception_w(L"thrown %d", 7);
  } catch (const tessel::exception& e) {
    EXPECT_STREQ(e.what(), "[thrown 7]");
    EXPECT_STREQ(e.message(), "thrown 7");
  }
  try {
    throw tessel::exception_w(L"thrown");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "[thrown]");
  }
}

TEST(ExceptionW, CopiesBeforeAndAfterNarrowing) {
  const tessel::exception_w original(L"copied %d", 1);
  const tessel::exception_w before(original);
  EXPECT_STREQ(before.what(), "[copied 1]");
  EXPECT_STREQ(before.what_w(), L"[copied 1]");

  original.message();  // narrows the original
  const tessel::exception_w after(original);
  EXPECT_STREQ(after.message(), "copied 1");
  // A plain tessel::exception copied from a narrowed object keeps the narrow texts.
  const tessel::exception sliced(original);
  EXPECT_STREQ(sliced.what(), "[copied 1]");
}

TEST(ExceptionW, WhatTwiceGivesEqualTexts) {
  const tessel::exception_w e(L"twice");
  const std::string first = e.what();
  EXPECT_EQ(first, e.what());
  const std::wstring first_w = e.what_w();
  EXPECT_EQ(first_w, e.what_w());
}

}  // namespace
