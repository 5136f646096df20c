#include "driver/staged_file.h"
#include "driver/win32_system.h"
#include "support/wide_path.h"

#include <gtest/gtest.h>

#include <string>

#include "package/tests/temp_folder.h"

using namespace tailrun;

namespace {

using test_files::exists;

bool make_file(const std::string& path) {
  return tessel::unique_file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))
      .operator bool();
}

using win32_system_test = test_files::temp_folder_test;

// A folder or file found in place (one with a planted DLL) is never taken as the run's own: only a
// folder the run creates itself counts.
TEST_F(win32_system_test, private_folder_is_never_one_found_in_place) {
  win32_system system(nullptr);
  ASSERT_TRUE(CreateDirectoryA((root_ + "QVT7000").c_str(), nullptr));
  ASSERT_TRUE(make_file(root_ + "QVT7000\\version.dll"));
  ASSERT_TRUE(make_file(root_ + "QVT7001"));
  EXPECT_FALSE(system.create_private_folder(root_ + "QVT7000\\"));
  EXPECT_FALSE(system.create_private_folder(root_ + "QVT7001\\"));
  EXPECT_TRUE(system.create_private_folder(root_ + "QVT7002\\"));
  const DWORD made = GetFileAttributesA((root_ + "QVT7002").c_str());
  EXPECT_TRUE(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY) != 0);
  EXPECT_TRUE(exists(root_ + "QVT7000\\version.dll"));
  EXPECT_FALSE(system.create_private_folder(root_ + "missing\\QVT1\\"));
}

// The error of opening `path` with `access`, sharing everything; 0 when it opens.
DWORD open_error(const std::string& path, DWORD access) {
  const tessel::unique_file file(CreateFileW(tessel::wide(path).c_str(), access,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? 0 : GetLastError();
}

// Data takes its name only at commit, replacing a file there, and is held from then on: nobody can
// write, rename or delete it while readers still open it. An uncommitted file goes, and a staging
// path that exists is refused without touching that file.
TEST_F(win32_system_test, staged_file_takes_its_name_only_at_commit_and_is_held) {
  const std::string setup = root_ + "setup.exe";
  test_files::write(setup, "an older and longer content");
  {
    staged_file staged(tessel::wide(root_ + "~extract0.tmp"));
    ASSERT_TRUE(staged.created());
    ASSERT_TRUE(staged.take("new", 3));
    EXPECT_EQ(test_files::read(setup), "an older and longer content");
    ASSERT_TRUE(staged.commit(setup));
    EXPECT_EQ(open_error(setup, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(open_error(setup, DELETE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileExW(tessel::wide(setup).c_str(), tessel::wide(root_ + "moved.exe").c_str(), 0));
    EXPECT_FALSE(DeleteFileW(tessel::wide(setup).c_str()));
    EXPECT_EQ(test_files::read(setup), "new");  // read, sharing only reading, as a loader does
  }
  EXPECT_EQ(open_error(setup, GENERIC_WRITE | DELETE), 0u);
  EXPECT_EQ(test_files::read(setup), "new");
  EXPECT_FALSE(exists(root_ + "~extract0.tmp"));
  {
    // Delete-pending while it is written, so it goes with its handle however the run ends.
    staged_file dropped(tessel::wide(root_ + "~extract0.tmp"));
    EXPECT_TRUE(dropped.delete_pending());
    ASSERT_TRUE(dropped.take("partial", 7));
  }
  EXPECT_FALSE(exists(root_ + "~extract0.tmp"));
  staged_file taken(tessel::wide(root_ + "setup.exe"));
  EXPECT_FALSE(taken.created());
  EXPECT_EQ(taken.error(), static_cast<std::uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(test_files::read(root_ + "setup.exe"), "new");
}

// A payload of several blocks is written on the writer's thread from two alternating buffers, as
// the record reader hands them over, and arrives whole; a block that fails on the thread (here a
// handle without write access, as a full disk would) fails the next hand-over and the end, and the
// staged file goes.
TEST_F(win32_system_test, blocks_written_on_the_thread_arrive_whole_and_failures_surface) {
  const std::size_t block = record_block_size;
  std::string buffers[2] = {std::string(block, '\0'), std::string(block, '\0')};
  std::string expected;
  {
    staged_file staged(tessel::wide(root_ + "~extract0.tmp"));
    ASSERT_TRUE(staged.begin(3 * block + 5));
    for (int i = 0; i < 4; ++i) {
      std::string& buffer = buffers[i % 2];
      const std::size_t count = i < 3 ? block : 5;
      for (std::size_t at = 0; at < count; ++at) buffer[at] = static_cast<char>('a' + (i * 7 + at) % 26);
      expected.append(buffer, 0, count);
      ASSERT_TRUE(staged.take(buffer.data(), count));
    }
    ASSERT_TRUE(staged.end());
    ASSERT_TRUE(staged.commit(root_ + "data.bin")) << staged.error();
  }
  EXPECT_TRUE(test_files::read(root_ + "data.bin") == expected);

  test_files::write(root_ + "readonly.bin", "");
  const tessel::unique_file reading(CreateFileA((root_ + "readonly.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reading);
  block_writer writer(reading.get());
  ASSERT_TRUE(writer.started());
  DWORD error = NO_ERROR;
  EXPECT_TRUE(writer.write(buffers[0].data(), block, error));  // fails on the thread
  EXPECT_FALSE(writer.write(buffers[1].data(), block, error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  error = NO_ERROR;
  EXPECT_FALSE(writer.wait(error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Folders and files in any characters and beyond MAX_PATH, as the run names them.
TEST_F(win32_system_test, paths_in_any_characters_and_longer_than_max_path) {
  win32_system system(nullptr);
  const std::string folder = root_ + "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x96\x87\xF0\x9F\x93\xA6\\";
  const std::string deep = folder + std::string(200, 'd') + "\\";
  ASSERT_TRUE(system.create_private_folder(folder));
  ASSERT_TRUE(system.create_private_folder(deep));
  std::uint32_t error = 0;
  std::unique_ptr<staged_output> staged = system.create_staged(deep + "~extract0.tmp", error);
  ASSERT_TRUE(staged) << error;
  ASSERT_TRUE(staged->take("data", 4));
  const std::string file = deep + std::string(100, 'f') + ".txt";
  ASSERT_GT(file.size(), static_cast<std::size_t>(MAX_PATH));
  ASSERT_TRUE(staged->commit(file)) << staged->error();
  EXPECT_NE(GetFileAttributesW(tessel::extended_path(file).c_str()), INVALID_FILE_ATTRIBUTES);
  system.remove_folder(folder);
  EXPECT_NE(GetFileAttributesW(tessel::extended_path(file).c_str()), INVALID_FILE_ATTRIBUTES) << "removed while held";
  staged.reset();  // the clean-up closes what the run holds first
  system.remove_folder(folder);
  EXPECT_EQ(GetFileAttributesW(tessel::extended_path(folder).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
