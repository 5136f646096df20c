#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <ostream>
#include <string>

// Allocation failure injection: while `fail_at` is set, the allocation with that number (counting
// from 1 after arming) throws std::bad_alloc. Every other allocation is served by malloc.
namespace {
long allocations = 0;
long fail_at = 0;

void arm_failure(long number) {
  allocations = 0;
  fail_at = number;
}
}  // namespace

void* operator new(std::size_t size) {
  if (fail_at != 0 && ++allocations == fail_at) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
// Kept out of line: inlined, the compiler would see memory from operator new reach free.
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { ::operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { ::operator delete(block); }

namespace {

const std::string log_path = "C:\\Temp\\QVNEX_msi.log.txt";
// The log switch as it stands inside the "/V" text: the path in escaped quotation marks.
const std::string log_switch = "/l*v \\\"C:\\Temp\\QVNEX_msi.log.txt\\\"";

struct split_case {
  const char* name;
  std::string command_line;
  std::string expected_rest;
  std::string expected_v_text;
};

void PrintTo(const split_case& c, std::ostream* os) { *os << c.name; }

class split_command_line_test : public testing::TestWithParam<split_case> {};

TEST_P(split_command_line_test, takes_the_v_option_out) {
  const split_case& c = GetParam();
  settings_map settings;
  settings["commandline"] = "stale";
  EXPECT_EQ(split_command_line(c.command_line, settings), c.expected_v_text);
  ASSERT_NE(settings.find("commandline"), nullptr);
  EXPECT_EQ(*settings.find("commandline"), c.expected_rest);
  EXPECT_EQ(settings.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    cases, split_command_line_test,
    testing::Values(
        split_case{"empty", "", "", ""},
        split_case{"no_option", "/s /qn", "/s /qn", ""},
        split_case{"quoted_alone", "/V\"A=1\"", "", "A=1"},
        split_case{"quoted_lower_case_keeps_spaces", "/s /v\"B=2\"", "/s ", "B=2"},
        split_case{"quoted_in_the_middle", "/s /V\"B=2\" /qn", "/s  /qn", "B=2"},
        split_case{"quoted_text_keeps_its_case", "/v\"Dir=c:\\Ab cd\"", "", "Dir=c:\\Ab cd"},
        split_case{"quoted_empty", "/x /V\"\"", "/x ", ""},
        split_case{"quoted_no_closing_mark", "/s /V\"B=2 /qn", "/s ", "B=2 /qn"},
        split_case{"marker_at_the_very_end", "/s /V\"", "/s ", ""},
        split_case{"first_quoted_option_only", "/v\"A\" /V\"B\"", " /V\"B\"", "A"},
        split_case{"quoted_form_wins_over_earlier_bare", "/VB=2 /V\"C=3\" /x", "/VB=2  /x",
                   "C=3"},
        split_case{"bare_then_option", "/VB=2 /qn", " /qn", "B=2"},
        split_case{"bare_at_the_end", "/qn /vb=2", "/qn ", "b=2"},
        split_case{"bare_text_with_space", "/VB=2 X /qn", " /qn", "B=2 X"},
        split_case{"bare_empty", "/V /qn", " /qn", ""},
        split_case{"bare_inside_a_word", "/s/VERBOSE", "/s", "ERBOSE"},
        split_case{"only_ascii_is_folded", "\xE9/v\"\xE9x\" \xF6", "\xE9 \xF6", "\xE9x"},
        split_case{"no_v_without_slash", "V\"A\" v", "V\"A\" v", ""}),
    [](const testing::TestParamInfo<split_case>& info) { return info.param.name; });

struct assembly_case {
  const char* name;
  std::optional<std::string> parameters;  // none: the package carries no "parameters"
  std::string command_line;               // setting "commandline"
  std::string v_text;
  std::string expected;
};

void PrintTo(const assembly_case& c, std::ostream* os) { *os << c.name; }

class assemble_parameters_test : public testing::TestWithParam<assembly_case> {};

TEST_P(assemble_parameters_test, merges_v_text_and_puts_the_command_line_first) {
  const assembly_case& c = GetParam();
  settings_map settings;
  settings["commandline"] = c.command_line;
  if (c.parameters) settings["parameters"] = *c.parameters;
  assemble_parameters(settings, c.v_text);
  ASSERT_NE(settings.find("parameters"), nullptr);
  EXPECT_EQ(*settings.find("parameters"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    cases, assemble_parameters_test,
    testing::Values(
        // No "/V": appended without a separator.
        assembly_case{"appended", "/qb", "", "B=2", " /qb/V\"B=2\""},
        assembly_case{"appended_empty", "/qb", "/s", "", "/s /qb/V\"\""},
        assembly_case{"no_parameters", std::nullopt, "", "", " /V\"\""},
        assembly_case{"lower_case_v_not_recognised", "/v\"A=1\"", "", "B=2",
                      " /v\"A=1\"/V\"B=2\""},
        // Opening marker: inserted behind the first one.
        assembly_case{"quoted_empty_v_text", "/V\"A=1\"", "", "", " /V\" A=1\""},
        assembly_case{"quoted", "/V\"A=1\"", "/s ", "B=2", "/s  /V\"B=2 A=1\""},
        assembly_case{"quoted_later", "/qb /V\"A=1\"", "", "B=2", " /qb /V\"B=2 A=1\""},
        assembly_case{"first_marker_only", "/V\"A\" /V\"C\"", "", "B", " /V\"B A\" /V\"C\""},
        assembly_case{"marker_after_bare_option", "/VX /V\"A\"", "", "B", " /VX /V\"B A\""},
        // "/V" without a quotation mark: quoted text at offset 2, wherever the "/V" stands.
        assembly_case{"bare", "/VA=1 /qb", "", "B=2", " /V\"B=2\"A=1 /qb"},
        assembly_case{"bare_empty_v_text", "/VA=1", "", "", " /V\"\"A=1"},
        assembly_case{"bare_not_at_the_start", "/qb /VA=1", "", "B=2", " /q\"B=2\"b /VA=1"}),
    [](const testing::TestParamInfo<assembly_case>& info) { return info.param.name; });

TEST(assemble_parameters, reads_missing_settings_as_empty_and_adds_them) {
  settings_map settings;
  assemble_parameters(settings, "B=2");
  ASSERT_NE(settings.find("commandline"), nullptr);
  EXPECT_EQ(*settings.find("commandline"), "");
  ASSERT_NE(settings.find("parameters"), nullptr);
  EXPECT_EQ(*settings.find("parameters"), " /V\"B=2\"");
}

TEST(msi_log_path, only_an_exact_on_asks_for_the_log) {
  const struct {
    std::optional<std::string> msilog;
    std::string base_folder;
    std::optional<std::string> expected;
  } cases[] = {
      {"ON", "C:\\Temp", log_path},
      {"ON", "C:", std::string("C:\\QVNEX_msi.log.txt")},
      {"On", "C:\\Temp", std::nullopt},
      {"on", "C:\\Temp", std::nullopt},
      {"ON ", "C:\\Temp", std::nullopt},
      {" ON", "C:\\Temp", std::nullopt},
      {"", "C:\\Temp", std::nullopt},
      {std::nullopt, "C:\\Temp", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.msilog.value_or("(missing)"));
    settings_map settings;
    if (c.msilog) settings["msilog"] = *c.msilog;
    EXPECT_EQ(msi_log_path(settings, c.base_folder), c.expected);
    ASSERT_NE(settings.find("msilog"), nullptr);  // read through the subscript: now present
    EXPECT_EQ(*settings.find("msilog"), c.msilog.value_or(""));
  }
}

TEST(apply_msi_log_option, opens_the_v_text_with_the_log_switch) {
  const struct {
    std::string parameters;
    std::string expected;
  } cases[] = {
      {"/V\"A=1\"", "/V\"" + log_switch + " A=1\""},
      {" /qb /V\"\" /V\"x\"", " /qb /V\"" + log_switch + " \" /V\"x\""},
      {"/qb", "/qb/V\"" + log_switch + "\""},
      {"", "/V\"" + log_switch + "\""},
      {"/v\"A=1\"", "/v\"A=1\"/V\"" + log_switch + "\""},
      {"/VA=1", "/V\"" + log_switch + "\"A=1"},
      {"/qb /VA=1", "/q\"" + log_switch + "\"b /VA=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parameters);
    settings_map settings;
    settings["parameters"] = c.parameters;
    apply_msi_log_option(settings, log_path);
    EXPECT_EQ(settings["parameters"], c.expected);
  }
}

// The three steps as the run chains them, on the examples of a user's command line.
TEST(installer_command_line, composes_command_line_v_text_and_log_switch) {
  const struct {
    std::string command_line;
    std::optional<std::string> parameters;
    std::string msilog;
    std::string expected;
  } cases[] = {
      {"", "/V\"A=1\"", "", " /V\" A=1\""},
      {"/s /v\"B=2\"", "/V\"A=1\"", "", "/s  /V\"B=2 A=1\""},
      {"/s /v\"B=2\"", "/V\"A=1\"", "ON", "/s  /V\"" + log_switch + " B=2 A=1\""},
      {"/s /v\"B=2\"", "/V\"A=1\"", "on", "/s  /V\"B=2 A=1\""},
      {"/VB=2 /qn", "/qb", "ON", " /qn /qb/V\"" + log_switch + " B=2\""},
      {"", std::nullopt, "ON", " /V\"" + log_switch + " \""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command_line);
    settings_map settings;
    const std::string v_text = split_command_line(c.command_line, settings);
    if (c.parameters) settings.insert_if_absent("parameters", *c.parameters);
    settings.insert_if_absent("msilog", c.msilog);
    assemble_parameters(settings, v_text);
    if (const auto path = msi_log_path(settings, "C:\\Temp")) apply_msi_log_option(settings, *path);
    EXPECT_EQ(settings["parameters"], c.expected);
  }
}

// Each step fails at every allocation in turn and must then fall back as documented.
class allocation_failure : public testing::Test {
 protected:
  void TearDown() override { fail_at = 0; }

  // Runs `step` with allocation 1, 2, ... failing until it completes without reaching the failing
  // allocation, checking `fell_back` after every failed run. Returns the number of failed runs.
  template <class Step, class Check>
  long run_with_failures(Step step, Check fell_back) {
    long failures = 0;
    for (long number = 1; number < 1000; ++number) {
      settings_map settings = fresh_settings();
      arm_failure(number);
      const auto outcome = step(settings);
      const bool failed = allocations >= number;
      fail_at = 0;
      if (!failed) return failures;
      ++failures;
      SCOPED_TRACE(number);
      fell_back(settings, outcome);
    }
    ADD_FAILURE() << "the step never completed";
    return failures;
  }

  static settings_map fresh_settings() {
    settings_map settings;
    settings["commandline"] = "/s /qn and a command line too long for short strings";
    settings["parameters"] = "/qb /V\"KEEP=this value, long enough to live on the heap\"";
    settings["msilog"] = "ON";
    return settings;
  }
  static const std::string& parameters_before() {
    static const std::string text = "/qb /V\"KEEP=this value, long enough to live on the heap\"";
    return text;
  }
};

TEST_F(allocation_failure, split_falls_back_to_the_whole_command_line) {
  const std::string line = "/s /v\"PROPERTY=a value that does not fit a short string\" /qn";
  const long failures = run_with_failures(
      [&](settings_map& settings) { return split_command_line(line, settings); },
      [&](settings_map& settings, const std::string& v_text) {
        EXPECT_EQ(v_text, "");
        EXPECT_EQ(settings["commandline"], line);
      });
  EXPECT_GT(failures, 0);
}

TEST_F(allocation_failure, assembly_keeps_the_parameters) {
  const std::string v_text = "PROPERTY=a value that does not fit a short string";
  const long failures = run_with_failures(
      [&](settings_map& settings) {
        assemble_parameters(settings, v_text);
        return 0;
      },
      [](settings_map& settings, int) { EXPECT_EQ(settings["parameters"], parameters_before()); });
  EXPECT_GT(failures, 0);
}

TEST_F(allocation_failure, msi_log_option_keeps_the_parameters) {
  const std::string base_folder = "C:\\A rather long base folder";
  const long path_failures = run_with_failures(
      [&](settings_map& settings) { return msi_log_path(settings, base_folder); },
      [](settings_map&, const std::optional<std::string>& path) { EXPECT_FALSE(path); });
  EXPECT_GT(path_failures, 0);
  const long failures = run_with_failures(
      [](settings_map& settings) {
        apply_msi_log_option(settings, log_path);
        return 0;
      },
      [](settings_map& settings, int) { EXPECT_EQ(settings["parameters"], parameters_before()); });
  EXPECT_GT(failures, 0);
}

TEST(base_folder_of, cuts_before_the_last_component) {
  const struct {
    std::string working_folder;
    std::string expected;
  } cases[] = {
      {"C:\\Temp\\QVT1553265329\\", "C:\\Temp"},
      {"C:\\Users\\Ann\\AppData\\Local\\Temp\\QVT-12\\", "C:\\Users\\Ann\\AppData\\Local\\Temp"},
      {"C:\\QVT1\\", "C:"},
      {"\\\\server\\share\\QVT1\\", "\\\\server\\share"},
      {"C:\\Temp\\\\QVT1\\", "C:\\Temp\\"},
      {"C:\\Temp\\\\", "C:\\Temp"},  // the search starts at the character before the last one
      {"QVT1\\", ""},
      {"\\", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base_folder_of(c.working_folder), c.expected) << c.working_folder;
  }
}

TEST(launch_directory, turns_only_a_bare_drive_into_its_root) {
  const struct {
    std::string base_folder;
    std::string expected;
  } cases[] = {
      {"C:", "C:\\"},          {"z:", "z:\\"},         {"C:\\Temp", "C:\\Temp"},
      {"C:\\", "C:\\"},        {"1:", "1:"},           {"\xC4:", "\xC4:"},
      {":", ":"},              {"CC:", "CC:"},         {"C:x", "C:x"},
      {"\\\\server\\share", "\\\\server\\share"},      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(launch_directory(c.base_folder), c.expected) << c.base_folder;
  }
}

}  // namespace

namespace {

TEST(is_silent, lower_case_slash_s_anywhere_counts) {
  const std::pair<const char*, bool> cases[] = {
      {"/s", true}, {"/silent", true}, {"/qb /s", true}, {"a/sb", true}, {"/S", false}, {"/SILENT", false}, {"", false},
  };
  for (const auto& [line, silent] : cases) EXPECT_EQ(is_silent(line), silent) << line;
}

}  // namespace
