#include "base/exception.h"

#include <gtest/gtest.h>

#include <string>

#include "support/windows.h"

namespace {

TEST(ExceptionW, FormatsItsMessageAndGivesWideAndNarrowTexts) {
  const tessel::exception_w e(L"%ls: %d, code %08X", L"file.txt", -2, 5);
  EXPECT_STREQ(e.message_w(), L"file.txt: -2, code 00000005");
  EXPECT_STREQ(e.category_w(), L"");
  // Twice: the text is rebuilt, not added to.
  EXPECT_STREQ(e.what_w(), L"[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.what_w(), L"[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.what(), "[file.txt: -2, code 00000005]");
  EXPECT_STREQ(e.message(), "file.txt: -2, code 00000005");
  EXPECT_STREQ(e.category(), "");
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

}  // namespace
