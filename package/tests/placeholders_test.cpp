#include "package/placeholders.h"

#include <gtest/gtest.h>

using namespace tailrun;

namespace {

settings_map make(std::initializer_list<std::pair<const char*, const char*>> entries) {
  settings_map map;
  for (const auto& [key, value] : entries) map.insert_if_absent(key, value);
  return map;
}

struct expansion_case {
  const char* text;
  settings_map settings;
  const char* expected;
};

TEST(expand_placeholders, follows_the_scanning_rules) {
  const expansion_case cases[] = {
      {"no percent here", make({{"a", "X"}}), "no percent here"},
      {"%", make({{"a", "X"}}), "%"},
      {"%%", make({{"a", "X"}}), "%%"},
      {"100%", make({{"a", "X"}}), "100%"},
      {"%%a%", make({{"a", "X"}}), "%X"},
      {"50% of %x%", make({{"x", "1"}}), "50% of 1"},
      {"%a%%b%", make({{"a", ""}, {"b", "Y"}}), "Y"},
      {"%a%b%", make({{"a", "50%"}, {"b", "Z"}}), "50%b%"},
      {"%Installer32%", make({{"installer32", "Q.exe"}}), "%Installer32%"},
      {"%executable32%", make({{"installer32", "QVNEXSetup.exe"}, {"executable32", "%installer32%"}}),
       "QVNEXSetup.exe"},
      {"a %name with spaces% b", make({{"name with spaces", "v"}}), "a v b"},
      {"%missing%a%", make({{"a", "X"}}), "%missingX"},
      {"%%", make({{"", "empty key"}}), "%%"},
  };
  for (const auto& c : cases) EXPECT_EQ(expand_placeholders(c.text, c.settings), c.expected) << c.text;
}

TEST(expand_placeholders, cycles_end_and_leave_the_repeated_name) {
  const settings_map self = make({{"a", "<%a%>"}});
  EXPECT_EQ(expand_placeholders("%a%", self), "<%a%>");
  const settings_map pair = make({{"a", "[%b%]"}, {"b", "(%a%)"}});
  EXPECT_EQ(expand_placeholders("%a%", pair), "[(%a%)]");
  // The same name in two separate branches is not a cycle.
  const settings_map twice = make({{"a", "%b%%b%"}, {"b", "x"}});
  EXPECT_EQ(expand_placeholders("%a%", twice), "xx");
}

TEST(expand_placeholders, deep_chains_stop_at_32_levels) {
  settings_map chain;
  for (int i = 0; i < 40; ++i) chain.insert_if_absent("k" + std::to_string(i), "%k" + std::to_string(i + 1) + "%");
  chain.insert_if_absent("k40", "end");
  EXPECT_EQ(expand_placeholders("%k0%", chain), "%k32%");
  EXPECT_EQ(expand_placeholders("%k9%", chain), "end");  // 32 levels down to the end
}

TEST(expand_placeholders, never_adds_keys) {
  const settings_map map = make({{"a", "1"}});
  EXPECT_EQ(expand_placeholders("%b% %a%", map), "%b% 1");
  EXPECT_EQ(map.size(), 1u);
}

TEST(unresolved_placeholders, names_what_the_expansion_leaves) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"%installer32%", {}},
      {"%Installer32%", {"Installer32"}},
      {"%dir%\\%installer32%", {"dir"}},     // "\\" between two '%' is no name of its own
      {"%a%%b%%a%", {"b"}},                   // each once; a value's own placeholders too
      {"%e%", {"deep"}},
      {"100% and 50%", {" and 50"}},          // what the scan takes for a name is reported
  };
  const settings_map settings = make({{"installer32", "Q.exe"}, {"a", "1"}, {"e", "%deep%"}});
  for (const auto& [text, expected] : cases) EXPECT_EQ(unresolved_placeholders(text, settings), expected) << text;
}

TEST(settings_map, insert_if_absent_subscript_and_find) {
  settings_map map;
  EXPECT_TRUE(map.insert_if_absent("source", "C:\\T\\QVT1"));
  EXPECT_FALSE(map.insert_if_absent("source", "from package"));
  EXPECT_EQ(map["source"], "C:\\T\\QVT1");
  EXPECT_TRUE(map.insert_if_absent("", ""));
  EXPECT_NE(map.find(""), nullptr);
  EXPECT_EQ(map.find("Source"), nullptr);  // case-sensitive
  map["parameters"] = "/qb";  // the subscript adds a key
  EXPECT_EQ(*map.find("parameters"), "/qb");
  // Byte-wise order of unsigned bytes: 0xE9 sorts after 'z'.
  map.insert_if_absent("\xE9", "e");
  map.insert_if_absent("z", "z");
  EXPECT_EQ(std::prev(map.end())->first, "\xE9");
}

}  // namespace

namespace {

// Each level doubles the text: 32 levels would make 4 GiB. The expansion stops in bounded work and
// leaves the placeholder it could not complete as written.
TEST(placeholders, exponential_nesting_is_bounded) {
  settings_map settings;
  for (int level = 0; level < 32; ++level)
    settings.insert_if_absent("v" + std::to_string(level),
                              "%v" + std::to_string(level + 1) + "%%v" + std::to_string(level + 1) + "%");
  settings.insert_if_absent("v32", "xxxxxxxx");
  EXPECT_EQ(expand_placeholders("a %v0% b %v31%", settings), "a %v0% b %v31%");
  EXPECT_EQ(expand_placeholders("b %v31%", settings), "b xxxxxxxxxxxxxxxx");
}

}  // namespace
