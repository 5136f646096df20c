// tailpack explain: what the stub's run core launches on a simulated machine (the core's decisions
// have their own tests), and how explain passes its options and shows the outcome.
#include <gtest/gtest.h>

#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

const std::string language_note =
    "note: the \"/L\" language option is not applied: the stub takes it from the registry of the machine where "
    "the package runs";

// The package of a typical product: the installer, launched through a placeholder, with
// parameters that hold a quoted "/V" option, and the MSI log asked for.
const std::vector<package_entry> example_package = {
    package_entry::make_file("installer32", "QVNEXSetup.exe", installer_image),
    package_entry::make_value("executable32", "%installer32%"),
    package_entry::make_value("parameters", "/V\"A=1\" /qb"),
    package_entry::make_value("msilog", "ON"),
};

// No "parameters" and no MSI log.
const std::vector<package_entry> plain_package = {
    package_entry::make_file("installer32", "Setup.exe", installer_image),
    package_entry::make_value("executable32", "%installer32%"),
};

std::string package_of(const std::vector<package_entry>& entries) {
  return samples::package(samples::stub_image(), "Tailrun.exe", entries);
}

class explain : public package_folder {
 protected:
  // tailpack explain OPTIONS... PACKAGE ARGS..., on a package written from `bytes`.
  outcome run_explain(const std::string& bytes, const std::vector<std::string>& options,
                      const std::vector<std::string>& args) {
    write(package, bytes);
    return tailpack_run(samples::concat(samples::concat(samples::concat({"explain"}, options), {package}), args));
  }
};

TEST_F(explain, prints_the_launch_that_the_stub_composes) {
  // The whole output once: both "/V" texts and the log switch in one option, the rest in front.
  const outcome full = run_explain(package_of(example_package), {}, {"/s", "/V\"B=2\""});
  EXPECT_EQ(full.status, tailpack::exit_ok);
  EXPECT_EQ(full.err, "");
  EXPECT_EQ(full.out,
            "command line: /s /V\"B=2\"\n"
            "working folder: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\\n"
            "file: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\QVNEXSetup.exe\n"
            R"(parameters: /s  /V"/l*v \"C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt\" B=2 A=1" /qb)" "\n"
            "directory: C:\\Users\\user\\AppData\\Local\\Temp\n"
            "msi log: C:\\Users\\user\\AppData\\Local\\Temp\\QVNEX_msi.log.txt\n"
            "held until the installer ends: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\QVNEXSetup.exe\n"
            "note: the working folder's number is an example: the stub takes it from the time of its run\n" +
                language_note + "\n");

  // How the parameters are composed is the driver's (its own tests); here: what explain passes to it.
  const std::string e_temp =
      "working folder: E:\\Temp\\QVT1700000000\\\nfile: E:\\Temp\\QVT1700000000\\QVNEXSetup.exe\n";
  const struct {
    const std::vector<package_entry>& package;
    std::vector<std::string> options, args;
    std::vector<std::string> parts;  // each found in the output
  } cases[] = {
      // ARGS joined with single spaces; no "parameters" in the package: an empty "/V", no MSI log.
      {plain_package, {}, {"/s", "/qn"},
       {"command line: /s /qn\n", "\nparameters: /s /qn /V\"\"\ndirectory: C:\\Users\\user\\AppData\\Local\\Temp\nheld until "}},
      // --command-line keeps the exact text, a quoted "/V" with a space inside included.
      {plain_package, {"--command-line", "/s  /qn /V\"X=1 Y=2\""}, {},
       {"command line: /s  /qn /V\"X=1 Y=2\"\n", "\nparameters: /s  /qn  /V\"X=1 Y=2\"\n"}},
      // The temporary folder with or without its trailing backslash.
      {example_package, {"--temp-folder", "E:\\Temp"}, {"/qn"}, {e_temp}},
      {example_package, {"--temp-folder", "E:\\Temp\\"}, {"/qn"}, {e_temp}},
  };
  for (const auto& c : cases) {
    const outcome r = run_explain(package_of(c.package), c.options, c.args);
    EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
    for (const std::string& part : c.parts) EXPECT_TRUE(contains(r.out, part)) << part << "\nin:\n" << r.out;
  }
}

TEST_F(explain, texts_stay_on_one_line_and_a_language_option_in_the_parameters_is_noted) {
  const outcome r = run_explain(package_of({package_entry::make_file("installer32", "Setup.exe", installer_image),
                                            package_entry::make_value("executable32", "%installer32%"),
                                            package_entry::make_value("parameters", "/L1031 /qn\r\n\x7f\xe4")}),
                                {}, {});
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "\nparameters:  /L1031 /qn\\x0d\\x0a\\x7f\xe4/V\"\"\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "\nnote: the parameters hold \"/L\" already, so the stub adds no language option\n"));
  EXPECT_FALSE(contains(r.out, language_note));
  EXPECT_EQ(lines(r.out), 8u);
}

// The file is shown as Windows resolves it; the working folder itself or a file the package does
// not write is refused, as the stub refuses it.
TEST_F(explain, shows_the_resolved_file_or_the_refusal) {
  const std::string folder = "C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\";
  const auto setup_and = [](const char* executable) {
    return package_of({package_entry::make_file("installer32", "Setup.exe", installer_image),
                       package_entry::make_value("executable32", executable)});
  };
  const outcome resolved = run_explain(setup_and(".\\SETUP.exe."), {}, {});
  EXPECT_EQ(resolved.status, tailpack::exit_ok) << resolved.err;
  EXPECT_TRUE(contains(resolved.out, "file: " + folder + "SETUP.exe\n")) << resolved.out;
  const std::string shell = "; the stub would show \"ShellExecuteEx failed\", launch nothing and exit with 1\n";
  const std::pair<const char*, std::string> refused[] = {
      {"", "the file to launch, \"\", names the working folder or a folder above it, not a file"},
      {"Other.exe", "the file to launch, \"Other.exe\", is not one that the package writes"},
  };
  for (const auto& [executable, reason] : refused) {
    const outcome r = run_explain(setup_and(executable), {}, {});
    EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
    EXPECT_TRUE(contains(r.out, "\nrefusal: " + reason + shell)) << r.out;
  }
}

// explain shows what it finds and exits 0; verify is the command that judges.
TEST_F(explain, a_run_that_launches_nothing_gives_the_reason_and_exit_0) {
  std::string mismatch = package_of(example_package);
  mismatch[mismatch.find("/qb")] = 'X';
  // Records read: the tail marker, the kind, key and value of "msilog", then those of "parameters".
  const std::string digest = "not accepted: digest mismatch in record 7 read (at file offset " +
                             std::to_string(mismatch.find("/V\"A=1\" Xqb")) + "); the stub would show ";
  const std::string extract_failed = "; the stub would show \"Failed to extract file!\" and \"Invalid Archive!\", "
                                     "launch nothing and exit with 1";
  const struct {
    std::string bytes;
    std::vector<std::string> args;
    std::string reason;  // the whole line after "refusal: "
  } cases[] = {
      {mismatch, {}, digest + "\"Invalid Archive!\", launch nothing and exit with 1"},
      {mismatch, {"/silent"}, digest + "no message (the command line holds \"/s\"), launch nothing and exit with 1"},
      {std::string(64, 'x'), {"/S"},
       "not accepted: no tail marker; the stub would show \"Failed to initialize archive!\" and \"Invalid "
       "Archive!\", launch nothing and exit with 1"},
      // Which names the stub cannot write is create's rule (tested there); one such name here.
      {package_of({package_entry::make_file("k", "..\\x.exe", installer_image), package_entry::make_value("msilog", "ON")}), {},
       "entry #2: stored name \"..\\x.exe\" could leave the working folder or names a device" + extract_failed},
  };
  for (const auto& c : cases) {
    const outcome r = run_explain(c.bytes, {}, c.args);
    EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
    EXPECT_TRUE(contains(r.out, "\nrefusal: " + c.reason + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "file: ")) << r.out;
  }
}

TEST_F(explain, usage_errors_exit_2) {
  write(package, package_of(plain_package));
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"explain"}, "tailpack: explain: PACKAGE is missing"},
      {{"explain", "--command-line", "/s", package, "/qn"}, "explain: ARGS and --command-line given together"},
      {{"explain", "--temp-folder", "", package}, "explain: --temp-folder is empty"},
      {{"explain", "--temp-folder", "C:/Temp", package},
       "--temp-folder needs a Windows path with backslashes, got \"C:/Temp\""},
  };
  for (const auto& [args, message] : cases) expect_usage_error(args, message);
  // After "--", ARGS that look like options are the command line's; "-" alone is an argument.
  const outcome r = tailpack_run({"explain", package, "--", "-x", "--help", "-"});
  EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "command line: -x --help -\n")) << r.out;
  EXPECT_EQ(tailpack_run({"explain", dir / "missing.exe"}).status, tailpack::exit_failure);
}

}  // namespace
