#include "diagnostics/exception.h"

#include <gtest/gtest.h>

#include <string>

#include "support/windows.h"

namespace {

TEST(ExceptionW, FormatsItsMessageAndGivesWideAndNarrowTexts) {
  const tessel::exception_w e(L"%ls: %d, code %08X", L"file.txt", -2, 5);
  EXPECT_STREQ(e.message_w(), L"file.txt: -2, code 00000005");
  EXPECT_STREQ(e.category_w(), L"");
  // Twice each: the texts are rebuilt, not added to.
  EXPECT_STREQ(e.what_w(), L"[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.what_w(), L"[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.what(), "[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.what(), "[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.message(), "file.txt: -2, code 00000005");
  EXPECT_STREQ(e.category(), "");

  const std::wstring long_text(3000, L'w');
  EXPECT_EQ(tessel::exception_w(L"<%ls>", long_text.c_str()).message_w(), L"<" + long_text + L">");
}

TEST(ExceptionW, EveryNarrowAccessNarrowsFirstAlsoThroughTheBases) {
  const tessel::exception_w by_what(L"abc"), by_message(L"abc"), by_category(L"abc");
  EXPECT_STREQ(static_cast<const std::exception&>(by_what).what(), "[abc]");
  EXPECT_STREQ(static_cast<const tessel::exception&>(by_message).message(), "abc");
  EXPECT_STREQ(static_cast<const tessel::exception&>(by_category).category(), "");
  EXPECT_STREQ(by_category.what(), "[abc]");
}

TEST(ExceptionW, NarrowTextsReplaceWhatTheCodePageLacks) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects ANSI code page 1252, have " << GetACP();
  const tessel::exception_w e(L"x\u4E2D\u00E9y");
  EXPECT_STREQ(e.what(), "[x?\xE9y]");
  EXPECT_STREQ(e.message(), "x?\xE9y");
  EXPECT_STREQ(e.message_w(), L"x\u4E2D\u00E9y") << "the wide text stays as it was";
}

TEST(ExceptionW, CopiesBeforeAndAfterNarrowing) {
  const tessel::exception_w original(L"copied %d", 1);
  const tessel::exception_w before(original);
  EXPECT_STREQ(before.what(), "[copied 1]");
  EXPECT_STREQ(before.what_w(), L"[copied 1]");
  original.message();  // narrows the original
  EXPECT_STREQ(tessel::exception_w(original).message(), "copied 1");
  // A plain tessel::exception copied from a narrowed object keeps the narrow texts.
  const tessel::exception sliced(original);
  EXPECT_STREQ(sliced.what(), "[copied 1]");
}

}  // namespace
