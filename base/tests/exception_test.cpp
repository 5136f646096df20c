#include "base/exception.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

namespace {

TEST(Exception, CategoryPathAndComposedText) {
  // Each class thrown by value and caught by reference as tessel::exception: the expected what()
  // is the category path, then the message in brackets.
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { throw tessel::exception(std::string("abc")); }, "[abc]"},
      {[] { throw tessel::log::generic("x"); }, "log[x]"},
      {[] { throw tessel::registry2::generic("x"); }, "registry2[x]"},
      {[] { throw tessel::registry2::key_error("Software\\X"); }, "registry2.key_error[Software\\X]"},
      {[] { throw tessel::registry2::value_error("x"); }, "registry2.value_error[x]"},
      {[] { throw tessel::registry2::type_mismatch("x"); }, "registry2.type_mismatch[x]"},
      {[] { throw tessel::registry2::size_mismatch("x"); }, "registry2.size_mismatch[x]"},
      {[] { throw tessel::unicode::generic(""); }, "unicode[]"},
      {[] { throw tessel::unicode::out_of_memory(""); }, "unicode.out_of_memory[]"},
      {[] { throw tessel::unicode::invalid_codepage(""); }, "unicode.invalid_codepage[]"},
      {[] { throw tessel::unicode::unmappable_character(""); }, "unicode.unmappable_character[]"},
  };
  for (const auto& [raise, what] : cases) {
    try {
      raise();
      ADD_FAILURE() << "nothing thrown";
    } catch (const tessel::exception& e) {
      const std::size_t open = what.find('[');
      EXPECT_EQ(e.category(), what.substr(0, open));
      EXPECT_EQ(e.message(), what.substr(open + 1, what.size() - open - 2));
      // Twice, the second time through the standard base: the text is rebuilt, not added to.
      EXPECT_EQ(e.what(), what);
      EXPECT_EQ(static_cast<const std::exception&>(e).what(), what);
      EXPECT_EQ(tessel::exception(e).what(), what) << "a copy into the root class keeps the category";
    }
  }
  EXPECT_THROW(throw tessel::registry2::type_mismatch("x"), tessel::registry2::generic);
  EXPECT_THROW(throw tessel::unicode::out_of_memory(""), tessel::unicode::generic);
}

TEST(Exception, LoneTextIsTakenLiterallyAndArgumentsAreFormatted) {
  // One argument is never read as a format, so '%' stays as it is.
  EXPECT_STREQ(tessel::exception("100% %s %d").message(), "100% %s %d");
  EXPECT_STREQ(tessel::exception("WaitForSingleObject returned 0x%08x", 0x102u).message(),
               "WaitForSingleObject returned 0x00000102");
}

}  // namespace
