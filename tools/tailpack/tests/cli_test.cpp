// tailpack's commands as a user runs them: arguments, exit status, output and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <tuple>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tools/tailpack/cli.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/text.h"
#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

TEST(cli, usage_errors_exit_2_with_one_line_on_stderr) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "tailpack: a command is missing"},
      {{"frob"}, "tailpack: unknown command \"frob\""},
      {{"create"}, "tailpack: create: --output is missing"},
      {{"create", "--stub"}, "create: --stub needs a value"},
      {{"create", "--stub=s", "--stub", "t", "--output", "o"}, "create: --stub given twice"},
      {{"create", "--stub", "s", "--output", "o", "--value", "novalue"}, "--value needs KEY=VALUE, got \"novalue\""},
      {{"create", "--stub", "s", "--output", "o", "--file", "k:name"}, "--file needs KEY[:NAME]=PATH"},
      {{"create", "--stub", "s", "--output", "o", "--value-file", "k="}, "--value-file \"k=\": PATH is empty"},
      {{"create", "--stub", "s", "--output", "o", "--escaped", "--value", "a\\q=1"}, "unknown escape \\q"},
      {{"create", "--stub", "s", "--output", "o", "--escaped", "--value", "a=\\x4"}, "\\x needs two hex digits"},
      {{"create", "--stub", "s", "--output", "o", "stray"}, "create: unexpected argument \"stray\""},
      {{"create", "--escaped=yes"}, "create: --escaped takes no value"},
      {{"list"}, "tailpack: list: PACKAGE is missing"},
      {{"verify", "--bogus", "x"}, "verify: unknown option --bogus"},
      {{"extract", "p"}, "extract: FOLDER is missing"},
      {{"help", "frob"}, "help: unknown command \"frob\""},
      {{"create", "--stub", "--help"}, "create: --output is missing"},  // an option's value, not a request for help
  };
  for (const auto& [args, message] : cases) expect_usage_error(args, message);
}

TEST(cli, help_and_version_go_to_stdout) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"help"}, {"help", "create"}, {"create", "--help"}, {"verify", "-h"},
           {"create", "--value", "a=b", "--help"}}) {
    const outcome r = tailpack_run(args);
    EXPECT_EQ(r.status, tailpack::exit_ok) << args[0];
    EXPECT_EQ(r.out.compare(0, 16, "Usage: tailpack "), 0) << args[0];
    EXPECT_EQ(r.err, "");
  }
  const outcome version = tailpack_run({"--version"});
  EXPECT_EQ(version.status, tailpack::exit_ok);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("tailpack [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
}

TEST(cli, create_entries_keep_their_order_and_split_at_the_first_separator) {
  const tailpack::create_request r = tailpack::parse_create(
      {"--stub", "s.exe", "--output=o.exe", "--value", "=", "--value", "a==b", "--file", "k=dir/x=y.exe",
       "--value-file", "v=val.txt", "--file", "k:n.exe=p=q", "--file", ":n=p", "--file", "=p", "--stub-name", ""});
  using type = tailpack::entry_source::type;
  const tailpack::entry_source want[] = {
      {type::value, "", "", "", ""},        {type::value, "a", "=b", "", ""},
      {type::file, "k", "", "dir/x=y.exe", "x=y.exe"}, {type::value_file, "v", "", "val.txt", ""},
      {type::file, "k", "", "p=q", "n.exe"},  {type::file, "", "", "p", "n"},
      {type::file, "", "", "p", "p"},
  };
  EXPECT_EQ(r.stub_path, "s.exe");
  EXPECT_EQ(r.output_path, "o.exe");
  EXPECT_TRUE(r.stub_name_given);
  EXPECT_EQ(r.stub_name, "");
  const auto fields = [](const tailpack::entry_source& e) {
    return std::tie(e.kind, e.key, e.value, e.path, e.name);
  };
  ASSERT_EQ(r.entries.size(), std::size(want));
  for (std::size_t i = 0; i < r.entries.size(); ++i) EXPECT_TRUE(fields(r.entries[i]) == fields(want[i])) << i;
}

TEST(cli, escaped_texts_take_any_byte_and_apply_to_every_entry) {
  const tailpack::create_request r = tailpack::parse_create(
      {"--stub", "s", "--output", "o", "--value", "k\\x3d=v\\x00\\\\", "--file", "a\\x3ab:n\\x22=p\\x41", "--escaped"});
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].key, "k=");
  EXPECT_EQ(r.entries[0].value, std::string("v\0\\", 3));
  EXPECT_EQ(r.entries[1].key, "a:b");
  EXPECT_EQ(r.entries[1].name, "n\"");
  EXPECT_EQ(r.entries[1].path, "p\\x41");  // paths are never unescaped
}

class commands : public package_folder {
 protected:
  void SetUp() override {
    package_folder::SetUp();
    write(dir.path() / "first.txt", "first");
    write(dir.path() / "second.txt", "second");
    write(dir.path() / "params.txt", std::string("/qn\r\n\x01", 6));
  }

  // A package with duplicate keys, duplicate file names (differing in case), an empty key and
  // value, and non-printable bytes.
  outcome create_sample(const std::string& output) {
    return tailpack_run({"create", "--stub", dir / "stub.exe", "--output", output, "--stub-name", "Tailrun.exe",
                         "--file", "installer32=" + (dir / "setup.exe"), "--file", ":readme.txt=" + (dir / "first.txt"),
                         "--value", "executable32=%installer32%", "--value-file", "parameters=" + (dir / "params.txt"),
                         "--value", "parameters=/passive", "--file", "doc:README.TXT=" + (dir / "second.txt"),
                         "--value", "="});
  }
};

TEST_F(commands, create_writes_what_the_writer_lays_out_and_the_same_bytes_every_time) {
  const std::string a = dir / "a.exe", b = dir / "b.exe";
  const outcome r = create_sample(a);
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "7 entries"));
  ASSERT_EQ(create_sample(b).status, tailpack::exit_ok);
  EXPECT_EQ(read(a), read(b));
  EXPECT_EQ(read(a), samples::package(stub, "Tailrun.exe",
                                      {package_entry::make_file("installer32", "setup.exe", installer_image),
                                       package_entry::make_file("", "readme.txt", "first"),
                                       package_entry::make_value("executable32", "%installer32%"),
                                       package_entry::make_value("parameters", std::string("/qn\r\n\x01", 6)),
                                       package_entry::make_value("parameters", "/passive"),
                                       package_entry::make_file("doc", "README.TXT", "second"),
                                       package_entry::make_value("", "")}));
}

TEST_F(commands, list_shows_entries_tail_first_with_their_effects) {
  ASSERT_EQ(create_sample(package).status, tailpack::exit_ok);
  const outcome r = tailpack_run({"list", package});
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  const std::string size = std::to_string(read(package).size());
  expect_in_order(r.out, {
      "chain: tail marker text at offset " + std::to_string(read(package).size() - 42) + "; its record ends at offset " +
          size + ", the end of the file",
      "  #1 value \"\" = \"\": setting takes effect",
      "  #2 file \"doc\" -> \"README.TXT\" (6 bytes): setting takes effect; file replaced by #6, which the stub writes "
      "later under the same name",
      "  #3 value \"parameters\" = \"/passive\": setting takes effect",
      "  #4 value \"parameters\" = \"/qn\\x0d\\x0a\\x01\": setting shadowed by #3, met earlier with the same key",
      "  #5 value \"executable32\" = \"%installer32%\": setting takes effect",
      "  #6 file \"\" -> \"readme.txt\" (5 bytes): no setting (empty key); file stays on disk",
      "  #7 file \"installer32\" -> \"setup.exe\" (1024 bytes): setting takes effect; file stays on disk",
      "  #8 stub \"stub\": the walk ends here; stub file name \"Tailrun.exe\", image of " +
          std::to_string(stub.size()) + " bytes (the stub reads neither)",
      "verdict: accepted\n",
  });
}

TEST_F(commands, list_marks_keys_the_stub_sets_itself_and_other_kinds) {
  write(package, samples::records(samples::concat(samples::stub_entry_payloads(),
                                                  {"x", "source", "value", "k", "xyz", tail_marker_text(),
                                                   "y", "commandline", "value", tail_marker_text()})));
  const outcome r = tailpack_run({"list", package});
  ASSERT_EQ(r.status, tailpack::exit_ok);
  expect_in_order(r.out, {"#1 value \"commandline\" = \"y\": no effect: the stub sets this key itself",
                          "#2 tail marker again: keeps the verdict true", "#3 other kind \"xyz\", key \"k\": passed over",
                          "#4 value \"source\" = \"x\": no effect", "verdict: accepted\n"});
}

TEST_F(commands, verify_accepts_exactly_what_the_stub_accepts) {
  ASSERT_EQ(create_sample(package).status, tailpack::exit_ok);
  const outcome ok = tailpack_run({"verify", package});
  EXPECT_EQ(ok.status, tailpack::exit_ok);
  EXPECT_EQ(ok.out, package + ": accepted, launches \"setup.exe\"\n" + package + ": not signed\n");
  // The test installer is a program without a signature.
  EXPECT_EQ(ok.err, "tailpack: warning: " + package + ": \"setup.exe\" is a program without a signature of its own: "
                    "Smart App Control blocks it, even inside a signed package\n");
  // The walk's reason for a rejection (the chain's own tests cover each one), and a file not there.
  std::string changed = read(package);
  const std::size_t value_at = changed.find("/passive");
  changed[value_at] = 'X';
  write(dir.path() / "changed.exe", changed);
  // Records read: tail marker 1, '""=""' 3, file "doc" 4, then the kind, key and value of "/passive".
  expect_one_err_line(tailpack_run({"verify", dir / "changed.exe"}),
                 "tailpack: verify: " + (dir / "changed.exe") + ": not accepted: digest mismatch in record 11 read "
                 "(at file offset " + std::to_string(value_at) + ")\n");
  expect_one_err_line(tailpack_run({"verify", dir / "missing.exe"}),
                      "tailpack: verify: cannot open " + (dir / "missing.exe"));

  // A chain that ends before any stub entry (the program image that starts the file counts as the
  // stub's): damaged, whatever it verified on the way.
  write(package,
        samples::records({installer_image, "setup.exe", "", "file", "setup.exe", "executable32", "value",
                          tail_marker_text()}));
  expect_one_err_line(tailpack_run({"verify", package}),
                      "tailpack: verify: " + package + ": not accepted: record reaches into the stub's image",
                      tailpack::exit_failure);
}

// The stub image is judged too: another program's, one cut short, one changed after packing (only
// with --allow-changed-stub a warning).
TEST_F(commands, verify_judges_the_stub_image) {
  const std::vector<package_entry> entries = {package_entry::make_file("installer32", "setup.exe", installer_image),
                                              package_entry::make_value("executable32", "%installer32%")};
  std::string patched = samples::package(stub, "Tailrun.exe", entries);
  patched[0x210] ^= 0x01;  // a byte of its code
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"other", samples::package(installer_image, "Tailrun.exe", entries), "does not begin with a Tailrun stub"},
      {"cut", samples::package(stub.substr(0, 0x500), "Tailrun.exe", entries), "into the stub's image"},
      {"patched", patched, "the stub's image was changed after packing"},
  };
  for (const auto& c : cases) {
    write(dir.path() / (std::string(c.name) + ".exe"), c.bytes);
    expect_one_err_line(tailpack_run({"verify", dir / (std::string(c.name) + ".exe")}), c.message);
  }
  const outcome allowed = tailpack_run({"verify", "--allow-changed-stub", dir / "patched.exe"});
  EXPECT_EQ(allowed.status, tailpack::exit_ok);
  EXPECT_TRUE(contains(allowed.err, "warning: " + (dir / "patched.exe") + ": the stub's image was changed after packing"))
      << allowed.err;
}

TEST_F(commands, a_failed_create_leaves_the_earlier_output_and_no_partial_file) {
  write(package, "earlier package");
  const std::size_t files_before = entries_in(dir.path());
  // One case for each of the tool's own stored-name checks (which names are unsafe is the package
  // core's, with its own tests).
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--file", "k=" + (dir / "missing.bin")}, "cannot open "},
      {{"--file", "k:..=" + (dir / "first.txt")}, "stored name \"..\" could leave the working folder"},
      {{"--file", "k:sub/x=" + (dir / "first.txt")}, "has a folder part"},
      {{"--file", "k:a?b=" + (dir / "first.txt")}, "does not allow in file names"},
      {{"--file", "k:a.=" + (dir / "first.txt")}, "ends with a dot or space"},
      {{"--file", "k:=" + (dir / "first.txt")}, "stored name \"\" is empty"},
  };
  for (const auto& [entry, message] : cases) {
    expect_one_err_line(create(samples::concat(launchable(), entry)), message);
    EXPECT_EQ(read(package), "earlier package");
    EXPECT_EQ(entries_in(dir.path()), files_before);
  }
  // An output that is no regular file is never replaced: a folder, and on POSIX a FIFO and a device.
  std::filesystem::create_directory(dir / "folder");
  std::vector<std::pair<std::string, const char*>> outputs = {{dir / "folder", "a folder"}};
  std::size_t made = 1;  // entries the test itself adds to the folder
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  outputs.insert(outputs.end(), {{dir / "fifo", "a FIFO"}, {"/dev/null", "a character device"}});
  made = 2;
#endif
  for (const auto& [output, kind] : outputs) {
    package = output;
    expect_one_err_line(create(launchable()), "--output " + output + " is " + kind + ": only a regular file");
  }
  EXPECT_EQ(entries_in(dir.path()), files_before + made);
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
#endif
}

#ifndef _WIN32
// Inputs that are no regular file are refused without waiting on them, and a file that reads past
// its size is never stored cut short; a --value-file is read to its end from a pipe or device.
TEST_F(commands, inputs_that_are_no_regular_file) {
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{"--file", "k=" + (dir / "fifo")}, "not a regular file"},
      {{"--icon", dir / "fifo"}, "not a regular file"},
      {{"--file", "k=/proc/self/status"}, "holds more than its size says"},
      {{"--value-file", "k=/dev/zero"}, "more than the stub reads as a text"},
  };
  for (const auto& [entry, message] : refused) {
    expect_one_err_line(create(samples::concat(launchable(), entry)), message);
    EXPECT_FALSE(std::filesystem::exists(package));
  }
  std::thread writer([&] {  // opening blocks until create opens the FIFO to read
    std::ofstream(dir / "fifo") << "from a pipe";
  });
  const outcome piped = create(samples::concat(launchable(), {"--value-file", "k=" + (dir / "fifo")}));
  writer.join();
  ASSERT_EQ(piped.status, tailpack::exit_ok) << piped.err;
  EXPECT_TRUE(contains(tailpack_run({"list", package}).out, "\"k\" = \"from a pipe\""));
}
#endif

TEST_F(commands, create_refuses_an_input_over_the_record_limit_before_reading_it) {
  // Sparse: 4 GiB of size, no disk and no time; only a read of it would take either.
  const std::filesystem::path big = dir.path() / "big.bin";
  write(big, "");
  std::filesystem::resize_file(big, std::uint64_t{1} << 32);
  expect_one_err_line(create({"--file", "k=" + big.string()}),
                      "holds 4294967296 bytes, more than a record can hold (4294967295 bytes");
  EXPECT_FALSE(std::filesystem::exists(package));
  // A value is a text: over 1 MiB the stub would refuse the package.
  std::filesystem::resize_file(big, (std::uint64_t{1} << 20) + 1);
  expect_one_err_line(create({"--value-file", "k=" + big.string()}), "more than the stub reads as a text");
}

TEST_F(commands, extract_writes_files_and_settings_as_the_stub_does) {
  ASSERT_EQ(create_sample(package).status, tailpack::exit_ok);
  const std::string out = dir / "out";
  const outcome r = tailpack_run({"extract", package, out});
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_EQ(read(dir.path() / "out" / "setup.exe"), installer_image);
  // README.TXT and readme.txt: one file on Windows, where the one met last (nearest the stub) stays.
  expect_in_order(r.out, {"wrote " + tailpack::join_path(out, "README.TXT") + " (6 bytes)",
                          "wrote " + tailpack::join_path(out, "readme.txt") + " (5 bytes)"});
  EXPECT_EQ(read(dir.path() / "out" / "readme.txt"), "first");
  EXPECT_TRUE(contains(r.out, "settings:\n"
                              "  \"\" = \"\"\n"
                              "  \"doc\" = \"README.TXT\"\n"
                              "  \"executable32\" = \"%installer32%\"\n"
                              "  \"installer32\" = \"setup.exe\"\n"
                              "  \"parameters\" = \"/passive\"\n"
                              "verdict: accepted\n"));
}

TEST_F(commands, extract_refuses_names_that_leave_the_folder_before_writing_anything) {
  // Which names are unsafe is the package core's (its own tests); here: a refused one after a safe one.
  for (const char* name : {"..", "C:x.exe"}) {
    write_package({package_entry::make_file("k", name, "evil"), package_entry::make_file("s", "safe.txt", "ok")});
    const outcome r = tailpack_run({"extract", package, dir / "out"});
    expect_one_err_line(r, "entry #2: stored name " + tailpack::quoted(name) + " could leave the working folder");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out")) << name;
  }
}

TEST_F(commands, extract_of_a_rejected_chain_acts_on_the_entries_met_before_and_says_so) {
  write_package({package_entry::make_file("a", "a.txt", "data of a"), package_entry::make_value("k", "v"),
                 package_entry::make_file("b", "b.txt", "B")});
  std::string bytes = read(package);
  bytes[bytes.find("data of a")] = 'D';
  write(package, bytes);
  const outcome r = tailpack_run({"extract", package, dir / "out"});
  EXPECT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_TRUE(contains(r.out, "verdict: not accepted: digest mismatch in record 12 read")) << r.out;
  EXPECT_EQ(read(dir.path() / "out" / "b.txt"), "B");
  EXPECT_EQ(entries_in(dir.path() / "out"), 1u) << "a.txt's data went to a temporary file, since removed";
  EXPECT_TRUE(contains(r.out, "  \"k\" = \"v\"\n"));
}

}  // namespace
