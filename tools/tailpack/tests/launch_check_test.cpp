// Packages that run: create refuses what the stub could not launch, verify fails exactly where the
// stub would not extract or launch, and both name the reason in one line.
#include <gtest/gtest.h>

#include "tools/tailpack/stub_check.h"
#include "tools/tailpack/tests/cli_run.h"
#include "tools/tailpack/tests/pe_image.h"
#include "package/tests/sample_packages.h"
#include "tools/tailpack/tests/test_files.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

TEST(pe_problem, takes_executables_only) {
  const std::string exe = pe::minimal_image("code");
  std::string dll = exe;
  pe::put16(dll, pe::pe_offset + 4 + 18, 0x2102);
  std::string not_executable = exe;
  pe::put16(not_executable, pe::pe_offset + 4 + 18, 0x0100);
  std::string pointer_past_end = exe;
  pe::put32(pointer_past_end, 0x3c, 0xfffffff0);
  std::string no_signature = exe;
  no_signature[pe::pe_offset] = 'X';
  std::string unknown_magic = exe;
  pe::put16(unknown_magic, pe::optional_offset, 0x107);
  const std::pair<std::string, const char*> cases[] = {
      {exe, ""},
      {exe.substr(0, pe::optional_offset + 2), ""},  // the headers that are checked, nothing more
      {"", "does not start with an MZ header"},
      {"MZ", "does not start with an MZ header"},
      {"#!/bin/sh\necho not a stub\n" + std::string(64, ' '), "does not start with an MZ header"},
      {exe.substr(0, pe::optional_offset + 1), "no PE header"},
      {pointer_past_end, "no PE header"},
      {no_signature, "no PE header"},
      {unknown_magic, "unknown optional header"},
      {dll, "a DLL"},
      {not_executable, "not marked as an executable"},
  };
  for (const auto& [head, expected] : cases) {
    const std::string problem = tailpack::pe_problem(head);
    if (*expected == '\0') {
      EXPECT_EQ(problem, "") << head.size();
    } else {
      EXPECT_TRUE(contains(problem, expected)) << problem;
    }
  }
}

class launch_checks : public ::testing::Test {
 protected:
  void SetUp() override {
    write(dir.path() / "stub.exe", pe::minimal_image("stub"));
    write(dir.path() / "setup.exe", "MZ installer");
    write(dir.path() / "exe.txt", "%installer32%");
  }

  outcome create(const std::vector<std::string>& options, const std::string& stub = "stub.exe") {
    std::vector<std::string> args = {"create", "--stub", dir / stub, "--output", dir / "p.exe"};
    args.insert(args.end(), options.begin(), options.end());
    return tailpack_run(args);
  }

  std::string file(const std::string& entry) { return entry + "=" + (dir / "setup.exe"); }

  temp_folder dir;
};

TEST_F(launch_checks, create_refuses_packages_the_stub_cannot_launch) {
  write(dir.path() / "script.sh", "#!/bin/sh\n");
  write(dir.path() / "p.exe", "earlier");
  const std::pair<outcome, std::string> cases[] = {
      {create({"--file", file("installer32"), "--value", "executable32=%installer32%"}, "script.sh"),
       "script.sh: not a Windows executable"},
      {create({"--file", file("installer32")}), "no setting \"executable32\" names the installer"},
      {create({"--file", file("installer32"), "--value", "executable32=%Installer32%"}),
       "setting \"executable32\" \"%Installer32%\" names no file that the package carries (the package sets no "
       "\"%Installer32%\")"},
      {create({"--file", file("installer32"), "--value", "executable32=%dir%\\%installer32%"}),
       "expands to \"%dir%\\\\setup.exe\", which names no file that the package carries (the package sets no \"%dir%\")"},
      // The stub sets "source" itself: the package cannot resolve it.
      {create({"--file", file("installer32"), "--value", "source=x", "--value", "executable32=%source%"}),
       "the package sets no \"%source%\""},
      // The last given wins: the empty value names no file.
      {create({"--file", file("i"), "--value", "executable32=setup.exe", "--value", "executable32="}), "names no file"},
  };
  for (const auto& [r, message] : cases) {
    EXPECT_EQ(r.status, tailpack::exit_failure) << r.err;
    EXPECT_TRUE(contains(r.err, message)) << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
  }
  EXPECT_EQ(read(dir.path() / "p.exe"), "earlier");

  // Accepted: names compared as Windows does, nested placeholders, a value from a file.
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--file", file("installer32:Setup.EXE"), "--value", "executable32=setup.exe"},
           {"--unchecked-names", "--file", file("i:setup.exe. "), "--value", "executable32=setup.exe"},
           {"--file", file("installer32"), "--value", "e=%installer32%", "--value", "executable32=%e%"},
           {"--file", file("installer32"), "--value-file", "executable32=" + (dir / "exe.txt")},
           {"--unchecked-launch"}}) {
    const outcome r = create(options);
    EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(launch_checks, create_warns_when_the_command_line_could_be_too_long) {
  // The quoted path of a 260-character working folder and "setup.exe" (272), then " " + the
  // parameters + "/V\"\"" (the "/V" option that the stub adds): 32,767 characters exactly.
  const std::string longest(32767 - 272 - 5, 'p');
  const auto create_with = [&](const std::vector<std::string>& settings) {
    std::vector<std::string> options = {"--file", file("installer32"), "--value", "executable32=%installer32%"};
    options.insert(options.end(), settings.begin(), settings.end());
    return create(options);
  };
  const outcome fits = create_with({"--value", "parameters=" + longest});
  EXPECT_EQ(fits.status, tailpack::exit_ok);
  EXPECT_EQ(fits.err, "");
  // One character more, through a placeholder; and the MSI log option's path.
  for (const std::vector<std::string>& settings : std::vector<std::vector<std::string>>{
           {"--value", "parameters=%p%x", "--value", "p=" + longest},
           {"--value", "parameters=" + longest.substr(200), "--value", "msilog=ON"}}) {
    const outcome warned = create_with(settings);
    EXPECT_EQ(warned.status, tailpack::exit_ok);
    EXPECT_TRUE(contains(warned.err, "tailpack: warning: the installer's command line could reach ")) << warned.err;
    EXPECT_TRUE(contains(warned.err, "more than the 32767")) << warned.err;
    EXPECT_EQ(lines(warned.err), 1u);
  }
}

TEST_F(launch_checks, verify_fails_where_the_stub_would_not_extract_or_launch) {
  const std::string m = tail_marker_text();
  const auto package = [](std::vector<package_entry> entries) {
    return samples::package(pe::minimal_image("stub"), "Tailrun.exe", std::move(entries));
  };
  const package_entry installer = package_entry::make_file("installer32", "setup.exe", "MZ");
  const package_entry launch = package_entry::make_value("executable32", "%installer32%");
  const std::pair<std::string, std::string> cases[] = {
      {package({installer, launch}), ""},
      {package({package_entry::make_file("k", "..\\evil.exe", "x"), installer, launch}),
       "entry #3: stored name \"..\\\\evil.exe\" leaves the working folder or names a device: the stub refuses"},
      {package({installer, launch, package_entry::make_file("k", "C:evil.exe", "x")}), "entry #1: stored name \"C:evil.exe\""},
      {package({installer, launch, package_entry::make_file("k", "sub\\x.exe", "x")}),
       "entry #1: stored name \"sub\\\\x.exe\" has a folder part"},
      {package({installer}), "no setting \"executable32\""},
      {package({installer, package_entry::make_value("executable32", "%missing%")}), "the package sets no \"%missing%\""},
      {package({installer, launch, package_entry::make_value("installer32", "other.exe")}),
       "expands to \"other.exe\", which names no file"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [bytes, problem] = cases[i];
    const std::string path = dir / ("v" + std::to_string(i) + ".exe");
    write(path, bytes);
    const outcome r = tailpack_run({"verify", path});
    if (problem.empty()) {
      EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
    } else {
      EXPECT_EQ(r.status, tailpack::exit_failure) << i;
      EXPECT_TRUE(contains(r.err, problem)) << r.err;
      EXPECT_EQ(lines(r.err), 1u) << r.err;
    }
  }
}

}  // namespace
