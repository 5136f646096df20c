#include "run/language.h"

#include <gtest/gtest.h>

using namespace tailrun;

namespace {

constexpr std::uint16_t uk_english_id = 0x0809;
constexpr std::uint16_t german_id = 0x0407;

TEST(choose_language, decision_table) {
  const std::optional<std::string> unreadable;
  const struct {
    std::optional<std::string> installer_language;
    std::string us_uk_record;
    std::uint16_t system_language;
    std::string sent;
    bool clear_user_language;
    bool log_uk_english;
  } rows[] = {
      {unreadable, "", uk_english_id, "", false, false},
      {std::string(""), "", uk_english_id, "", false, false},
      {std::string("1033"), "", us_english_language_id, "1033", true, false},
      {std::string("1033"), "", uk_english_id, "2057", false, true},
      {std::string("1033"), "", german_id, "2057", false, true},
      {std::string("1033"), "0", uk_english_id, "1033", false, false},  // any non-empty record
      {std::string("1033"), "yes", us_english_language_id, "1033", false, false},
      {std::string("1031"), "", uk_english_id, "1031", false, false},
      {std::string("2057"), "", us_english_language_id, "2057", false, false},
      // Only the exact text "1033" is US English.
      {std::string("1033 "), "", uk_english_id, "1033 ", false, false},
  };
  for (const auto& row : rows) {
    const language_choice choice = choose_language(row.installer_language, row.us_uk_record, row.system_language);
    const std::string what = row.installer_language.value_or("(unreadable)") + " / \"" + row.us_uk_record + "\" / " +
                             std::to_string(row.system_language);
    EXPECT_EQ(choice.language, row.sent) << what;
    EXPECT_EQ(choice.clear_user_language, row.clear_user_language) << what;
    EXPECT_EQ(choice.log_uk_english, row.log_uk_english) << what;
  }
}

TEST(with_language_option, prefix_unless_an_option_is_present) {
  const struct {
    const char* parameters;
    const char* language;
    const char* expected;
  } cases[] = {
      {"/qb", "2057", "/L2057 /qb"},
      {"", "1031", "/L1031 "},
      {"/qb", "", "/qb"},  // nothing to send
      {"/L1036 /qb", "2057", "/L1036 /qb"},
      {" /V\"x\" /L1036", "1033", " /V\"x\" /L1036"},  // anywhere in the text
      {"/qb /L", "1033", "/qb /L"},
      {"/VALUE=/Later", "1033", "/VALUE=/Later"},  // also inside a longer word
      {"/l*v log.txt", "1033", "/L1033 /l*v log.txt"},  // case-sensitive: the MSI log switch does not count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(with_language_option(c.parameters, c.language), c.expected) << c.parameters;
  }
}

}  // namespace
