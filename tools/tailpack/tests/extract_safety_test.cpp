// extract writes only inside its folder: never through a link, new files only, nested folders made;
// no command replaces a file it reads.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tools/tailpack/files.h"
#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;
namespace fs = std::filesystem;

using extract_safety = package_folder;

TEST_F(extract_safety, creates_a_nested_missing_folder) {
  write_package({package_entry::make_file("k", "setup.exe", "data")});
  const fs::path out = dir.path() / "a" / "b" / "c";
  const outcome r = tailpack_run({"extract", package, out.string() + "/"});
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_EQ(read(out / "setup.exe"), "data");
}

#ifndef _WIN32
// A name held by what is no regular file (a FIFO, a device) is never replaced.
TEST_F(extract_safety, a_name_held_by_no_regular_file_stays) {
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  ASSERT_EQ(::mkfifo((out / "setup.exe").c_str(), 0600), 0);
  write_package({package_entry::make_file("k", "setup.exe", "new")});
  expect_one_err_line(tailpack_run({"extract", package, out.string()}), "a FIFO stands there");
  EXPECT_TRUE(fs::is_fifo(out / "setup.exe"));
  EXPECT_EQ(entries_in(out), 1u);
}
#endif

TEST_F(extract_safety, never_writes_through_a_link_in_the_folder) {
  const fs::path out = dir.path() / "out", outside = dir.path() / "outside";
  fs::create_directories(out);
  fs::create_directories(outside);
  write(outside / "target.txt", "keep");
  std::error_code error;
  fs::create_symlink(outside / "target.txt", out / "setup.exe", error);
  // Under Wine, links are not made or (to a file) not seen by Windows programs.
  if (error || !tailpack::is_link((out / "setup.exe").string())) GTEST_SKIP() << "this system's programs see no links";
  write(out / "old.txt", "old");
  write_package({package_entry::make_file("", "old.txt", "new"), package_entry::make_file("k", "setup.exe", "evil")});
  const outcome r = tailpack_run({"extract", package, out.string()});
  expect_one_err_line(r, "refusing to write");
  EXPECT_TRUE(contains(r.err, "link")) << r.err;
  EXPECT_EQ(read(outside / "target.txt"), "keep");
  EXPECT_TRUE(fs::is_symlink(out / "setup.exe"));
  EXPECT_EQ(read(out / "old.txt"), "old");  // nothing is written when one name is refused
  EXPECT_EQ(entries_in(out), 2u);            // and no temporary file is left
  // A hard link is replaced by a new file, so the other name keeps its data.
  fs::remove(out / "setup.exe");
  fs::create_hard_link(outside / "target.txt", out / "setup.exe");
  write_package({package_entry::make_file("k", "setup.exe", "new")});
  EXPECT_EQ(tailpack_run({"extract", package, out.string()}).status, tailpack::exit_ok);
  EXPECT_EQ(read(out / "setup.exe"), "new");
  EXPECT_EQ(read(outside / "target.txt"), "keep");
}

TEST_F(extract_safety, a_file_that_cannot_be_written_leaves_no_partial_file) {
  const fs::path out = dir.path() / "out";
  fs::create_directories(out / "setup.exe");
  write_package({package_entry::make_file("k", "setup.exe", "data")});
  const outcome r = tailpack_run({"extract", package, out.string()});
  EXPECT_EQ(r.status, tailpack::exit_failure);
  EXPECT_TRUE(contains(r.err, "setup.exe")) << r.err;
  EXPECT_TRUE(fs::is_directory(out / "setup.exe"));
  EXPECT_EQ(entries_in(out), 1u);  // no temporary file left beside it
}

// An output that is an input by identity (another spelling, a hard link) is refused, unchanged.
TEST_F(extract_safety, no_command_replaces_a_file_it_reads) {
  fs::create_hard_link(dir.path() / "setup.exe", dir.path() / "linked.exe");
  for (const std::string& output : {dir / "./stub.exe", dir / "linked.exe"}) {
    const outcome r = tailpack_run(samples::concat({"create", "--stub", dir / "stub.exe", "--output", output}, launchable()));
    expect_one_err_line(r, "refusing to overwrite it");
    EXPECT_EQ(read(dir.path() / "stub.exe"), stub) << output;
    EXPECT_EQ(read(dir.path() / "setup.exe"), installer_image) << output;
  }
  // A package that carries a file of its own name, extracted into its own folder.
  write_package({package_entry::make_file("k", "p.exe", "evil")});
  const std::string before = read(package);
  expect_one_err_line(tailpack_run({"extract", package, dir.path().string()}), "it is the package being read");
  EXPECT_EQ(read(package), before);
  expect_usage_error({"extract", package, ""}, "FOLDER is empty");
}

}  // namespace
