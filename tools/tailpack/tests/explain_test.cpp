// tailpack explain: what the stub would launch, checked line by line against the stub's own
// composition, and the runs in which it would launch nothing.
#include <gtest/gtest.h>

#include "package/record.h"
#include "package/writer.h"
#include "tools/tailpack/cli.h"
#include "tools/tailpack/tests/cli_run.h"
#include "tools/tailpack/tests/sample_packages.h"
#include "tools/tailpack/tests/test_files.h"

namespace {

using testing_cli::contains;
using testing_cli::lines;
using testing_cli::outcome;
using testing_cli::tailpack_run;
using testing_files::temp_folder;
using testing_files::write;

const std::string example_note =
    "note: QVT1700000000 is an example: the stub names its working folder after the time of its run";
const std::string language_note =
    "note: the \"/L\" language option is not applied: the stub takes it from the registry of the machine where "
    "the package runs";

// The package of a typical product: the installer, launched through a placeholder, with
// parameters that hold a quoted "/V" option, and the MSI log asked for.
const std::vector<package_entry> example_package = {
    package_entry::make_file("installer32", "QVNEXSetup.exe", "MZ installer"),
    package_entry::make_value("executable32", "%installer32%"),
    package_entry::make_value("parameters", "/V\"A=1\" /qb"),
    package_entry::make_value("msilog", "ON"),
};

// No "parameters" and no MSI log.
const std::vector<package_entry> plain_package = {
    package_entry::make_file("installer32", "Setup.exe", "MZ installer"),
    package_entry::make_value("executable32", "%installer32%"),
};

// Tries to set the keys that the stub sets itself, and gives "parameters" twice: the one given
// last is met first and takes effect.
const std::vector<package_entry> reserved_keys_package = {
    package_entry::make_file("installer32", "Setup.exe", "MZ installer"),
    package_entry::make_value("executable32", "%installer32%"),
    package_entry::make_value("source", "D:\\elsewhere"),
    package_entry::make_value("commandline", "/evil"),
    package_entry::make_value("parameters", "/first"),
    package_entry::make_value("parameters", "/qb SRC=%source% CL=%commandline%"),
};

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class explain : public ::testing::Test {
 protected:
  std::string package_file(const std::vector<package_entry>& entries, const std::string& name = "p.exe") {
    write(dir.path() / name, samples::package(samples::stub_image(), "Tailrun.exe", entries));
    return dir / name;
  }

  // tailpack explain OPTIONS... PACKAGE ARGS...
  outcome run_explain(const std::string& package, const std::vector<std::string>& options,
                      const std::vector<std::string>& args) {
    std::vector<std::string> command = {"explain"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(package);
    command.insert(command.end(), args.begin(), args.end());
    return tailpack_run(command);
  }

  temp_folder dir;
};

TEST_F(explain, prints_the_launch_that_the_stub_composes) {
  struct launch_case {
    const char* name;
    const std::vector<package_entry>* package;
    std::vector<std::string> options;  // before the package
    std::vector<std::string> args;     // after it
    std::vector<std::string> expected;
  };
  const launch_case cases[] = {
      {"quoted /V beside /s: both /V texts and the log switch in one option, the rest in front",
       &example_package, {}, {"/s", "/V\"B=2\""},
       {R"(command line: /s /V"B=2")",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\QVNEXSetup.exe)",
        R"(parameters: /s  /V"/l*v \"C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt\" B=2 A=1" /qb)",
        R"(directory: C:\Users\user\AppData\Local\Temp)",
        R"(msi log: C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt)", example_note, language_note}},
      {"bare lower-case /v at the end: the same parameters",
       &example_package, {}, {"/s", "/vB=2"},
       {R"(command line: /s /vB=2)",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\QVNEXSetup.exe)",
        R"(parameters: /s  /V"/l*v \"C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt\" B=2 A=1" /qb)",
        R"(directory: C:\Users\user\AppData\Local\Temp)",
        R"(msi log: C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt)", example_note, language_note}},
      {"bare /V before another option: its text ends at \" /\", whose space stays",
       &example_package, {}, {"/VB=2", "/qn"},
       {R"(command line: /VB=2 /qn)",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\QVNEXSetup.exe)",
        R"(parameters:  /qn /V"/l*v \"C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt\" B=2 A=1" /qb)",
        R"(directory: C:\Users\user\AppData\Local\Temp)",
        R"(msi log: C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt)", example_note, language_note}},
      {"no ARGS: a leading space, and the empty /V text's space behind the log switch",
       &example_package, {}, {},
       {R"(command line: )",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\QVNEXSetup.exe)",
        R"(parameters:  /V"/l*v \"C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt\"  A=1" /qb)",
        R"(directory: C:\Users\user\AppData\Local\Temp)",
        R"(msi log: C:\Users\user\AppData\Local\Temp\QVNEX_msi.log.txt)", example_note, language_note}},
      {"no parameters in the package, no ARGS: an empty /V option, no MSI log",
       &plain_package, {}, {},
       {R"(command line: )",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\Setup.exe)",
        R"(parameters:  /V"")",
        R"(directory: C:\Users\user\AppData\Local\Temp)", example_note, language_note}},
      {"ARGS joined with single spaces",
       &plain_package, {}, {"/s", "/qn"},
       {R"(command line: /s /qn)",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\Setup.exe)",
        R"(parameters: /s /qn /V"")",
        R"(directory: C:\Users\user\AppData\Local\Temp)", example_note, language_note}},
      {"--command-line keeps the exact text, a quoted /V with a space inside included",
       &plain_package, {"--command-line", "/s  /qn /V\"X=1 Y=2\""}, {},
       {R"(command line: /s  /qn /V"X=1 Y=2")",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\Setup.exe)",
        R"(parameters: /s  /qn  /V"X=1 Y=2")",
        R"(directory: C:\Users\user\AppData\Local\Temp)", example_note, language_note}},
      {"\"source\" and \"commandline\" in the package have no effect; the first met \"parameters\" wins",
       &reserved_keys_package, {}, {"/s"},
       {R"(command line: /s)",
        R"(working folder: C:\Users\user\AppData\Local\Temp\QVT1700000000\)",
        R"(file: C:\Users\user\AppData\Local\Temp\QVT1700000000\Setup.exe)",
        R"(parameters: /s /qb SRC=C:\Users\user\AppData\Local\Temp\QVT1700000000 CL=/s/V"")",
        R"(directory: C:\Users\user\AppData\Local\Temp)", example_note, language_note}},
      {"a drive root as the temporary folder: the directory is the root, the MSI log lies in it",
       &example_package, {"--temp-folder", "D:\\"}, {},
       {R"(command line: )",
        R"(working folder: D:\QVT1700000000\)",
        R"(file: D:\QVT1700000000\QVNEXSetup.exe)",
        R"(parameters:  /V"/l*v \"D:\QVNEX_msi.log.txt\"  A=1" /qb)",
        R"(directory: D:\)",
        R"(msi log: D:\QVNEX_msi.log.txt)", example_note, language_note}},
  };
  for (const launch_case& c : cases) {
    SCOPED_TRACE(c.name);
    const outcome r = run_explain(package_file(*c.package), c.options, c.args);
    EXPECT_EQ(r.status, tailpack::exit_ok);
    EXPECT_EQ(r.out, joined(c.expected));
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(explain, the_temporary_folder_is_taken_with_or_without_its_trailing_backslash) {
  const std::string package = package_file(example_package);
  for (const char* folder : {"E:\\Temp", "E:\\Temp\\", "--temp-folder=E:\\Temp"}) {
    SCOPED_TRACE(folder);
    const std::vector<std::string> options =
        contains(folder, "=") ? std::vector<std::string>{folder} : std::vector<std::string>{"--temp-folder", folder};
    const outcome r = run_explain(package, options, {"/qn"});
    ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
    EXPECT_TRUE(contains(r.out, "working folder: E:\\Temp\\QVT1700000000\\\n"
                                "file: E:\\Temp\\QVT1700000000\\QVNEXSetup.exe\n"
                                R"(parameters: /qn /V"/l*v \"E:\Temp\QVNEX_msi.log.txt\"  A=1" /qb)" "\n"
                                "directory: E:\\Temp\n"
                                "msi log: E:\\Temp\\QVNEX_msi.log.txt\n"))
        << r.out;
  }
}

TEST_F(explain, texts_stay_on_one_line_and_a_language_option_in_the_parameters_is_noted) {
  const outcome r = run_explain(
      package_file({package_entry::make_file("installer32", "Setup.exe", "MZ"),
                    package_entry::make_value("executable32", "%installer32%"),
                    package_entry::make_value("parameters", "/L1031 /qn\r\n\x7f\xe4")}),
      {}, {});
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "\nparameters:  /L1031 /qn\\x0d\\x0a\\x7f\xe4/V\"\"\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "\nnote: the parameters hold \"/L\" already, so the stub adds no language option\n"));
  EXPECT_FALSE(contains(r.out, language_note));
  EXPECT_EQ(lines(r.out), 7u);
}

TEST_F(explain, warns_when_the_launch_may_not_be_what_the_package_means) {
  struct warning_case {
    const char* name;
    std::string bytes;
    std::vector<std::string> warnings;  // parts of the warning lines, in order; none: no warning
    const char* file_line;
  };
  const std::string m = tail_marker_text();
  const warning_case cases[] = {
      {"no executable32: the working folder itself",
       samples::package(samples::stub_image(), "Tailrun.exe", {package_entry::make_file("installer32", "Setup.exe", "MZ")}),
       {"setting \"executable32\" is missing or empty: the stub would launch its working folder itself"},
       "file: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\\n"},
      {"a file that the package does not carry",
       samples::package(samples::stub_image(), "Tailrun.exe",
                        {package_entry::make_file("installer32", "Setup.exe", "MZ"),
                         package_entry::make_value("executable32", "Other.exe")}),
       {"the file to launch, \"Other.exe\", is not one that the package writes into the working folder"},
       "file: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\Other.exe\n"},
      {"a carried file named in other letter case: Windows finds it",
       samples::package(samples::stub_image(), "Tailrun.exe",
                        {package_entry::make_file("installer32", "Setup.exe", "MZ"),
                         package_entry::make_value("executable32", "SETUP.exe")}),
       {},
       "file: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\SETUP.exe\n"},
      {"an accepted walk that ends before the stub entry",
       samples::records({"Setup.exe", "executable32", "value", m}),
       {"the walk ended before the stub entry: ",
        "the file to launch, \"Setup.exe\", is not one that the package writes"},
       "file: C:\\Users\\user\\AppData\\Local\\Temp\\QVT1700000000\\Setup.exe\n"},
  };
  for (const warning_case& c : cases) {
    SCOPED_TRACE(c.name);
    write(dir.path() / "p.exe", c.bytes);
    const outcome r = run_explain(dir / "p.exe", {}, {});
    EXPECT_EQ(r.status, tailpack::exit_ok);
    EXPECT_TRUE(contains(r.out, c.file_line)) << r.out;
    EXPECT_EQ(lines(r.err), c.warnings.size()) << r.err;
    std::size_t from = 0;
    for (const std::string& part : c.warnings) {
      const std::size_t at = r.err.find("tailpack: warning: " + (dir / "p.exe") + ": " + part, from);
      ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part << "\nin:\n" << r.err;
      from = at + part.size();
    }
  }
}

TEST_F(explain, a_run_that_launches_nothing_gives_the_reason_and_exit_1) {
  std::string mismatch = samples::package(samples::stub_image(), "Tailrun.exe", example_package);
  mismatch[mismatch.find("/qb")] = 'X';
  // Records read: the tail marker, the kind, key and value of "msilog", then those of "parameters".
  const std::size_t mismatch_at = mismatch.find("/V\"A=1\" Xqb");
  struct refusal_case {
    const char* name;
    std::string bytes;
    std::vector<std::string> args;
    std::string reason;  // the whole line after "tailpack: explain: PACKAGE: "
  };
  const refusal_case cases[] = {
      {"a digest mismatch", mismatch, {},
       "not accepted: digest mismatch in record 7 read (at file offset " + std::to_string(mismatch_at) +
           "); the stub would show \"Invalid Archive!\", launch nothing and exit with 1"},
      {"a digest mismatch in a silent run", mismatch, {"/silent"},
       "not accepted: digest mismatch in record 7 read (at file offset " + std::to_string(mismatch_at) +
           "); the stub would show no message (the command line holds \"/s\"), launch nothing and exit with 1"},
      {"no tail marker", std::string(64, 'x'), {"/S"},
       "not accepted: no tail marker; the stub would show \"Failed to initialize archive!\" and \"Invalid "
       "Archive!\", launch nothing and exit with 1"},
      {"a stored name that leaves the working folder",
       samples::package(samples::stub_image(), "Tailrun.exe",
                        {package_entry::make_file("k", "..\\x.exe", "MZ"), package_entry::make_value("msilog", "ON")}),
       {},
       "entry #2: stored name \"..\\\\x.exe\" could leave the working folder or names a device; the stub would show "
       "\"Failed to extract file!\" and \"Invalid Archive!\", launch nothing and exit with 1"},
      {"a stored name with a folder part, which the fresh working folder lacks",
       samples::package(samples::stub_image(), "Tailrun.exe", {package_entry::make_file("k", "sub\\x.exe", "MZ")}),
       {},
       "entry #1: stored name \"sub\\\\x.exe\" has a folder part, which the stub's fresh working folder does not "
       "have; the stub would show \"Failed to extract file!\" and \"Invalid Archive!\", launch nothing and exit with "
       "1"},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    write(dir.path() / "p.exe", c.bytes);
    const outcome r = run_explain(dir / "p.exe", {}, c.args);
    EXPECT_EQ(r.status, tailpack::exit_failure);
    EXPECT_EQ(r.err, "tailpack: explain: " + (dir / "p.exe") + ": " + c.reason + "\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(explain, usage_errors_exit_2) {
  const std::string package = package_file(plain_package);
  struct usage_case {
    std::vector<std::string> args;
    const char* message;
  };
  const usage_case cases[] = {
      {{"explain"}, "tailpack: explain: PACKAGE is missing"},
      {{"explain", "--command-line", "/s", package, "/qn"}, "explain: ARGS and --command-line given together"},
      {{"explain", "--command-line", "/s", "--command-line=/qn", package}, "explain: --command-line given twice"},
      {{"explain", "--temp-folder", "", package}, "explain: --temp-folder is empty"},
      {{"explain", "--temp-folder", "C:/Temp", package}, "--temp-folder needs a Windows path with backslashes, got "
                                                          "\"C:/Temp\""},
      {{"explain", package, "-x"}, "explain: unknown option -x"},
      {{"explain", package, "--temp-folder"}, "explain: --temp-folder needs a value"},
  };
  for (const usage_case& c : cases) {
    const outcome r = tailpack_run(c.args);
    SCOPED_TRACE(r.err);
    EXPECT_EQ(r.status, tailpack::exit_usage);
    EXPECT_TRUE(contains(r.err, c.message));
    EXPECT_EQ(lines(r.err), 1u);
    EXPECT_EQ(r.out, "");
  }
  // After "--", ARGS that look like options are the command line's; "-" alone is an argument.
  const outcome r = tailpack_run({"explain", package, "--", "-x", "--help", "-"});
  EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "command line: -x --help -\n")) << r.out;
  EXPECT_EQ(tailpack_run({"explain", dir / "missing.exe"}).status, tailpack::exit_failure);
}

TEST(explain_help, is_listed_and_names_what_is_not_applied) {
  EXPECT_TRUE(contains(tailpack_run({"--help"}).out, "\n  explain  "));
  const outcome r = tailpack_run({"explain", "--help"});
  EXPECT_EQ(r.status, tailpack::exit_ok);
  EXPECT_TRUE(contains(r.out, "Usage: tailpack explain [--temp-folder PATH] [--command-line TEXT] PACKAGE [ARGS...]"));
  EXPECT_TRUE(contains(r.out, "ARGS are joined with single spaces"));
  EXPECT_TRUE(contains(r.out, "the \"/L\" language option"));
  EXPECT_TRUE(contains(r.out, "the number is an example"));
}

}  // namespace
