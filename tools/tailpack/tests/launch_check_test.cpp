// Packages that run: create refuses what the stub could not launch, verify fails exactly where the
// stub would not extract or launch, and both name the reason in one line.
#include <gtest/gtest.h>

#include "tools/tailpack/stub_check.h"
#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

TEST(pe_problem, takes_executables_only) {
  const std::string exe = pe::minimal_image("code");
  const auto patched = [&exe](std::size_t at, std::uint32_t value, bool wide = false) {
    std::string b = exe;
    wide ? pe::put32(b, at, value) : pe::put16(b, at, static_cast<std::uint16_t>(value));
    return b;
  };
  const std::size_t characteristics = pe::pe_offset + 4 + 18;
  const std::pair<std::string, const char*> cases[] = {
      {exe, ""},
      {exe.substr(0, pe::optional_offset + 2), ""},  // the headers that are checked, nothing more
      {"MZ", "does not start with an MZ header"},
      {"#!/bin/sh\necho not a stub\n" + std::string(64, ' '), "does not start with an MZ header"},
      {exe.substr(0, pe::optional_offset + 1), "no PE header"},
      {patched(0x3c, 0xfffffff0, true), "no PE header"},
      {patched(pe::pe_offset, 'X'), "no PE header"},
      {patched(pe::optional_offset, 0x107), "unknown optional header"},
      {patched(characteristics, 0x2102), "a DLL"},
      {patched(characteristics, 0x0100), "not marked as an executable"},
  };
  for (const auto& [head, expected] : cases) {
    const std::string problem = tailpack::pe_problem(head);
    EXPECT_TRUE(*expected ? contains(problem, expected) : problem.empty()) << problem;
  }
}

using launch_checks = package_folder;

TEST_F(launch_checks, create_refuses_packages_the_stub_cannot_launch) {
  write(dir.path() / "script.sh", "#!/bin/sh\n");
  write(package, "earlier");
  const std::string setup = "=" + (dir / "setup.exe");
  const std::pair<outcome, std::string> cases[] = {
      {tailpack_run(samples::concat({"create", "--stub", dir / "script.sh", "--output", package}, launchable())),
       "script.sh: not a Windows executable"},
      {create({"--file", "installer32" + setup}), "no setting \"executable32\" names the installer"},
      {create({"--file", "installer32" + setup, "--value", "executable32=%Installer32%"}),
       "setting \"executable32\" \"%Installer32%\" names no file that the package carries (the package sets no "
       "\"%Installer32%\")"},
      {create({"--file", "installer32" + setup, "--value", "executable32=%dir%\\%installer32%"}),
       "expands to \"%dir%\\\\setup.exe\", which names no file that the package carries (the package sets no \"%dir%\")"},
      // The stub sets "source" itself: the package cannot resolve it.
      {create({"--file", "installer32" + setup, "--value", "source=x", "--value", "executable32=%source%"}),
       "the package sets no \"%source%\""},
      // The last given wins: the empty value names no file.
      {create({"--file", "i" + setup, "--value", "executable32=setup.exe", "--value", "executable32="}),
       "names no file"},
  };
  for (const auto& [r, message] : cases) expect_one_err_line(r, message);
  EXPECT_EQ(read(package), "earlier");

  // Accepted: names compared as Windows does, nested placeholders, a value from a file.
  write(dir.path() / "exe.txt", "%installer32%");
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--file", "installer32:Setup.EXE" + setup, "--value", "executable32=setup.exe"},
           {"--unchecked-names", "--file", "i:setup.exe. " + setup, "--value", "executable32=setup.exe"},
           {"--file", "installer32" + setup, "--value", "e=%installer32%", "--value", "executable32=%e%"},
           {"--file", "installer32" + setup, "--value-file", "executable32=" + (dir / "exe.txt")},
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
  const outcome fits = create(samples::concat(launchable(), {"--value", "parameters=" + longest}));
  EXPECT_EQ(fits.status, tailpack::exit_ok);
  EXPECT_EQ(fits.err, "");
  // One character more, through a placeholder; and the MSI log option's path.
  for (const std::vector<std::string>& settings : std::vector<std::vector<std::string>>{
           {"--value", "parameters=%p%x", "--value", "p=" + longest},
           {"--value", "parameters=" + longest.substr(200), "--value", "msilog=ON"}}) {
    const outcome warned = create(samples::concat(launchable(), settings));
    expect_one_err_line(warned, "tailpack: warning: the installer's command line could reach ", tailpack::exit_ok);
    EXPECT_TRUE(contains(warned.err, "more than the 32767")) << warned.err;
  }
}

TEST_F(launch_checks, verify_fails_where_the_stub_would_not_extract_or_launch) {
  const package_entry installer = package_entry::make_file("installer32", "setup.exe", "MZ");
  const package_entry launch = package_entry::make_value("executable32", "%installer32%");
  // An accepted package passes (cli_test), and the launch rules are create's (above): here, that
  // verify applies them to what the walk meets, and its own stored-name checks.
  const std::pair<std::vector<package_entry>, std::string> cases[] = {
      {{package_entry::make_file("k", "..\\evil.exe", "x"), installer, launch},
       "entry #3: stored name \"..\\\\evil.exe\" leaves the working folder or names a device: the stub refuses"},
      {{installer, launch, package_entry::make_file("k", "sub\\x.exe", "x")},
       "entry #1: stored name \"sub\\\\x.exe\" has a folder part"},
      {{installer}, "no setting \"executable32\""},
      {{installer, launch, package_entry::make_value("installer32", "other.exe")},
       "expands to \"other.exe\", which names no file"},
  };
  for (const auto& [entries, problem] : cases) {
    write_package(entries);
    expect_one_err_line(tailpack_run({"verify", package}), problem);
  }
}

}  // namespace
