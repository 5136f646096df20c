#include "diagnostics/exception.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

namespace {

struct composed_case {
  const char* name;
  std::function<void()> raise;
  const char* category;
  const char* what;
};

// Throws each class by value; every one must be caught by reference as tessel::exception (and
// keep its own category and composed text through that reference).
const composed_case composed_cases[] = {
    {"exception", [] { throw tessel::exception(std::string("abc")); }, "", "[abc]"},
    {"log::generic", [] { throw tessel::log::generic("x"); }, "log", "log[x]"},
    {"registry2::generic", [] { throw tessel::registry2::generic("x"); }, "registry2", "registry2[x]"},
    {"registry2::key_error", [] { throw tessel::registry2::key_error("x"); }, "registry2.key_error",
     "registry2.key_error[x]"},
    {"registry2::value_error", [] { throw tessel::registry2::value_error("x"); }, "registry2.value_error",
     "registry2.value_error[x]"},
    {"registry2::type_mismatch", [] { throw tessel::registry2::type_mismatch("x"); }, "registry2.type_mismatch",
     "registry2.type_mismatch[x]"},
    {"registry2::size_mismatch", [] { throw tessel::registry2::size_mismatch("x"); }, "registry2.size_mismatch",
     "registry2.size_mismatch[x]"},
    {"unicode::generic", [] { throw tessel::unicode::generic(""); }, "unicode", "unicode[]"},
    {"unicode::out_of_memory", [] { throw tessel::unicode::out_of_memory(""); }, "unicode.out_of_memory",
     "unicode.out_of_memory[]"},
    {"unicode::invalid_codepage", [] { throw tessel::unicode::invalid_codepage(""); }, "unicode.invalid_codepage",
     "unicode.invalid_codepage[]"},
    {"unicode::unmappable_character", [] { throw tessel::unicode::unmappable_character(""); },
     "unicode.unmappable_character", "unicode.unmappable_character[]"},
};

TEST(Exception, CategoryPathAndComposedText) {
  for (const composed_case& c : composed_cases) {
    SCOPED_TRACE(c.name);
    try {
      c.raise();
      ADD_FAILURE() << "nothing thrown";
    } catch (const tessel::exception& e) {
      EXPECT_STREQ(e.category(), c.category);
      EXPECT_STREQ(e.what(), c.what);
      // Also through the standard base.
      const std::exception& standard = e;
      EXPECT_STREQ(standard.what(), c.what);
    }
  }
}

TEST(Exception, MessageIsKeptApartFromCategory) {
  const tessel::exception plain(std::string("abc"));
  EXPECT_STREQ(plain.message(), "abc");
  EXPECT_STREQ(plain.category(), "");
  EXPECT_STREQ(plain.what(), "[abc]");

  const tessel::registry2::key_error key("Software\\X");
  EXPECT_STREQ(key.message(), "Software\\X");
  EXPECT_STREQ(key.what(), "registry2.key_error[Software\\X]");
}

TEST(Exception, LoneTextIsTakenLiterally) {
  // One argument is never read as a format, so '%' stays as it is.
  const tessel::exception literal("100% %s %d");
  EXPECT_STREQ(literal.message(), "100% %s %d");
  const tessel::exception from_string(std::string("%x"));
  EXPECT_STREQ(from_string.message(), "%x");
}

TEST(Exception, FormatConstructorFillsTheMessage) {
  const tessel::exception e("WaitForSingleObject returned 0x%08x", 0x102u);
  EXPECT_STREQ(e.message(), "WaitForSingleObject returned 0x00000102");
  EXPECT_STREQ(e.category(), "");
  EXPECT_STREQ(e.what(), "[WaitForSingleObject returned 0x00000102]");

  const tessel::exception several("%s:%d:%c", "file", 12, 'z');
  EXPECT_STREQ(several.message(), "file:12:z");

  // A message longer than the formatter's first buffer arrives complete.
  const std::string long_text(3000, 'q');
  const tessel::exception long_message("<%s>", long_text.c_str());
  EXPECT_EQ(std::string(long_message.message()), "<" + long_text + ">");
}

TEST(Exception, WhatIsRebuiltOnEveryCall) {
  const tessel::unicode::invalid_codepage e("m");
  const std::string first = e.what();
  const std::string second = e.what();
  EXPECT_EQ(first, "unicode.invalid_codepage[m]");
  EXPECT_EQ(second, first);
}

TEST(Exception, CopiesCarryEveryText) {
  const tessel::registry2::size_mismatch original("4 != 8");
  original.what();

  const tessel::registry2::size_mismatch copy(original);
  EXPECT_STREQ(copy.message(), "4 != 8");
  EXPECT_STREQ(copy.category(), "registry2.size_mismatch");
  EXPECT_STREQ(copy.what(), "registry2.size_mismatch[4 != 8]");

  // A copy into the root class keeps the category that the derived constructors built.
  const tessel::exception sliced(original);
  EXPECT_STREQ(sliced.category(), "registry2.size_mismatch");
  EXPECT_STREQ(sliced.what(), "registry2.size_mismatch[4 != 8]");

  tessel::registry2::size_mismatch assigned("other");
  assigned = original;
  EXPECT_STREQ(assigned.message(), "4 != 8");
  // The copy owns its texts: they outlive the original.
  std::string kept;
  {
    const tessel::log::generic temporary("gone");
    const tessel::log::generic survivor(temporary);
    kept = survivor.what();
  }
  EXPECT_EQ(kept, "log[gone]");
}

TEST(Exception, CaughtByEveryBase) {
  EXPECT_THROW(throw tessel::log::generic("x"), tessel::log::generic);
  EXPECT_THROW(throw tessel::log::generic("x"), std::exception);
  EXPECT_THROW(throw tessel::registry2::type_mismatch("x"), tessel::registry2::generic);
  EXPECT_THROW(throw tessel::unicode::out_of_memory(""), tessel::unicode::generic);
  EXPECT_THROW(throw tessel::unicode::unmappable_character(""), std::exception);
}

}  // namespace
