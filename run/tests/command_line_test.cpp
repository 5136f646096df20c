#include "run/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>

using namespace tailrun;

// Allocation failure injection: while `fail_at` is set, allocation number `fail_at` (counted from
// when it was set) throws std::bad_alloc. Every other allocation is served by malloc.
namespace {
long allocations = 0;
long fail_at = 0;
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

TEST(split_command_line, takes_the_first_v_option_out) {
  const struct {
    std::string line, rest, v_text;
  } cases[] = {
      {"", "", ""}, {"/s /qn", "/s /qn", ""}, {"V\"A\" v", "V\"A\" v", ""},
      // The quoted form: to the closing mark, or to the end; the first one only.
      {"/s /v\"B=2\"", "/s ", "B=2"}, {"/s /V\"B=2\" /qn", "/s  /qn", "B=2"}, {"/x /V\"\"", "/x ", ""},
      {"/v\"Dir=c:\\Ab cd\"", "", "Dir=c:\\Ab cd"}, {"/s /V\"B=2 /qn", "/s ", "B=2 /qn"}, {"/s /V\"", "/s ", ""},
      {"/v\"A\" /V\"B\"", " /V\"B\"", "A"}, {"/VB=2 /V\"C=3\" /x", "/VB=2  /x", "C=3"},
      // The bare form: to the next " /", whose space stays.
      {"/VB=2 /qn", " /qn", "B=2"}, {"/qn /vb=2", "/qn ", "b=2"}, {"/VB=2 X /qn", " /qn", "B=2 X"},
      {"/V /qn", " /qn", ""}, {"/s/VERBOSE", "/s", "ERBOSE"},
      {"\xE9/v\"\xE9x\" \xF6", "\xE9 \xF6", "\xE9x"},  // only ASCII letters are folded
  };
  for (const auto& c : cases) {
    settings_map settings;
    settings["commandline"] = "stale";
    EXPECT_EQ(split_command_line(c.line, settings), c.v_text) << c.line;
    EXPECT_EQ(*settings.find("commandline"), c.rest) << c.line;
    EXPECT_EQ(settings.size(), 1u);
  }
}

TEST(assemble_parameters, merges_the_v_text_and_puts_the_command_line_first) {
  const struct {
    std::optional<std::string> parameters, command_line;  // none: missing from the settings
    std::string v_text, expected;
  } cases[] = {
      // No "/V" (the search is case-sensitive): appended without a separator.
      {"/qb", "", "B=2", " /qb/V\"B=2\""},
      {"/qb", "/s", "", "/s /qb/V\"\""},
      {std::nullopt, std::nullopt, "", " /V\"\""},
      {"/v\"A=1\"", "", "B=2", " /v\"A=1\"/V\"B=2\""},
      // "/V\"": the text and a space go in behind the first one.
      {"/V\"A=1\"", "", "", " /V\" A=1\""},
      {"/V\"A=1\"", "/s ", "B=2", "/s  /V\"B=2 A=1\""},
      {"/V\"A\" /V\"C\"", "", "B", " /V\"B A\" /V\"C\""},
      {"/VX /V\"A\"", "", "B", " /VX /V\"B A\""},
      // "/V" without a quotation mark: the quoted text at offset 2, wherever the "/V" stands.
      {"/VA=1 /qb", "", "B=2", " /V\"B=2\"A=1 /qb"},
      {"/qb /VA=1", "", "B=2", " /q\"B=2\"b /VA=1"},
  };
  for (const auto& c : cases) {
    settings_map settings;
    if (c.command_line) settings["commandline"] = *c.command_line;
    if (c.parameters) settings["parameters"] = *c.parameters;
    assemble_parameters(settings, c.v_text);
    EXPECT_EQ(settings["parameters"], c.expected);
    EXPECT_NE(settings.find("commandline"), nullptr);
  }
}

TEST(msi_log_path, only_an_exact_on_asks_for_the_log) {
  const struct {
    std::optional<std::string> msilog;
    std::string base_folder;
    std::optional<std::string> expected;
  } cases[] = {
      {"ON", "C:\\Temp", log_path}, {"ON", "C:", std::string("C:\\QVNEX_msi.log.txt")},
      {"On", "C:\\Temp", std::nullopt}, {"ON ", "C:\\Temp", std::nullopt},
      {" ON", "C:\\Temp", std::nullopt}, {"", "C:\\Temp", std::nullopt}, {std::nullopt, "C:\\Temp", std::nullopt},
  };
  for (const auto& c : cases) {
    settings_map settings;
    if (c.msilog) settings["msilog"] = *c.msilog;
    EXPECT_EQ(msi_log_path(settings, c.base_folder), c.expected) << c.msilog.value_or("(missing)");
    EXPECT_NE(settings.find("msilog"), nullptr);  // read through the subscript: now present
  }
}

TEST(apply_msi_log_option, opens_the_v_text_with_the_log_switch) {
  const std::pair<std::string, std::string> cases[] = {
      {"/V\"A=1\"", "/V\"" + log_switch + " A=1\""},
      {"/qb", "/qb/V\"" + log_switch + "\""},
      {"/VA=1", "/V\"" + log_switch + "\"A=1"},
  };
  for (const auto& [parameters, expected] : cases) {
    settings_map settings;
    settings["parameters"] = parameters;
    apply_msi_log_option(settings, log_path);
    EXPECT_EQ(settings["parameters"], expected);
  }
}

const std::string kept_parameters = "/qb /V\"KEEP=this value, long enough to live on the heap\"";

// Whether `key` is present with `value` (allocates nothing, so it can run while failures are armed).
bool holds(const settings_map& settings, const char* key, const std::string& value) {
  const std::string* found = settings.find(key);
  return found != nullptr && *found == value;
}

// Runs `step` on fresh settings with allocation 1, 2, ... failing, until a run completes without
// reaching the failing allocation; `step` answers whether the settings and its result fell back.
template <class Step>
void fail_each_allocation(const char* name, Step step) {
  struct disarm {
    ~disarm() { fail_at = 0; }
  } guard;
  long failures = 0;
  for (long number = 1; number < 1000; ++number, ++failures) {
    settings_map settings;
    settings["commandline"] = "/s /qn and a command line too long for short strings";
    settings["parameters"] = kept_parameters;
    settings["msilog"] = "ON";
    allocations = 0;
    fail_at = number;
    const bool fell_back = step(settings);
    fail_at = 0;
    if (allocations < number) break;
    EXPECT_TRUE(fell_back) << name << ", allocation " << number;
  }
  EXPECT_GT(failures, 0) << name;
  EXPECT_LT(failures, 999) << name << " never completed";
}

TEST(allocation_failure, each_step_falls_back_as_documented) {
  // Made before any failure is armed.
  const std::string line = "/s /v\"PROPERTY=a value that does not fit a short string\" /qn";
  const std::string v_text = "PROPERTY=a value that does not fit a short string";
  const std::string base_folder = "C:\\A rather long base folder";
  fail_each_allocation("split", [&](settings_map& settings) {
    return split_command_line(line, settings).empty() && holds(settings, "commandline", line);
  });
  fail_each_allocation("assemble", [&](settings_map& settings) {
    assemble_parameters(settings, v_text);
    return holds(settings, "parameters", kept_parameters);
  });
  fail_each_allocation("log path", [&](settings_map& settings) { return !msi_log_path(settings, base_folder); });
  fail_each_allocation("log option", [&](settings_map& settings) {
    apply_msi_log_option(settings, log_path);
    return holds(settings, "parameters", kept_parameters);
  });
}

TEST(base_folder_of, cuts_before_the_last_component) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Temp\\QVT1553265329\\", "C:\\Temp"},
      {"C:\\QVT1\\", "C:"},
      {"\\\\server\\share\\QVT1\\", "\\\\server\\share"},
      {"C:\\Temp\\\\QVT1\\", "C:\\Temp\\"},
      {"C:\\Temp\\\\", "C:\\Temp"},  // the search starts at the character before the last one
      {"QVT1\\", ""}, {"\\", ""}, {"", ""},
  };
  for (const auto& [working_folder, expected] : cases) EXPECT_EQ(base_folder_of(working_folder), expected) << working_folder;
}

TEST(launch_directory, turns_only_a_bare_drive_into_its_root) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:", "C:\\"}, {"z:", "z:\\"}, {"C:\\Temp", "C:\\Temp"}, {"C:\\", "C:\\"}, {"1:", "1:"}, {"\xC4:", "\xC4:"},
      {":", ":"},     {"CC:", "CC:"}, {"C:x", "C:x"},           {"\\\\server\\share", "\\\\server\\share"}, {"", ""},
  };
  for (const auto& [base_folder, expected] : cases) EXPECT_EQ(launch_directory(base_folder), expected) << base_folder;
}

TEST(is_silent, lower_case_slash_s_anywhere_counts) {
  const std::pair<const char*, bool> cases[] = {
      {"/s", true}, {"/silent", true}, {"/qb /s", true}, {"a/sb", true}, {"/S", false}, {"/SILENT", false}, {"", false},
  };
  for (const auto& [line, silent] : cases) EXPECT_EQ(is_silent(line), silent) << line;
}

TEST(arguments_of, skips_the_program_name_as_the_start_up_code_does) {
  const std::pair<const char*, const char*> rows[] = {
      {"\"C:\\Program Files\\Setup.exe\" /s /x", "/s /x"},
      {"Setup.exe  \t/s", "/s"},
      {"\"C:\\\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\\Setup.exe\"/s", "/s"},  // no space after the quote
      {"C:\\\xD0\x9F\\Setup.exe \xE6\x96\x87", "\xE6\x96\x87"},  // a name outside ASCII, unquoted
      {"\"unterminated /s", ""},
      {"Setup.exe", ""},
      {"", ""},
  };
  for (const auto& [full, expected] : rows) EXPECT_EQ(arguments_of(full), expected) << full;
}

}  // namespace
