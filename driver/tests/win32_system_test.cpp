#include "driver/folder_security.h"
#include "driver/staged_file.h"
#include "driver/win32_system.h"
#include "support/wide_path.h"

#include <gtest/gtest.h>

#include <string>

#include "package/tests/temp_folder.h"

#include <sddl.h>

namespace {

// The process's user as SDDL text ("S-1-5-21-...").
std::string user_sid_text() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  const tessel::unique_handle token_owner(token);
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return "";
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return "";
  const tessel::unique_local text_owner(text);
  return text;
}

// Wine accepts a descriptor but neither stores nor enforces it, so the descriptor itself is what
// is checked: converted back to SDDL it must be exactly the protected three-entry list.
TEST(private_folder_security, descriptor_round_trips_to_the_protected_list) {
  private_folder_security security;
  ASSERT_NE(security.attributes(), nullptr);
  EXPECT_FALSE(security.attributes()->bInheritHandle);
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(security.attributes()->lpSecurityDescriptor,
                                                                   SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                   &text, nullptr))
      << GetLastError();
  const tessel::unique_local text_owner(text);
  const std::string user = user_sid_text();
  ASSERT_FALSE(user.empty());
  // P: protected from the parent's entries; OICI: inherited by files and folders inside; FA: full
  // control; SY, BA: SYSTEM and Administrators.
  EXPECT_EQ(std::string(text), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")");
}

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

// Data takes its name only at commit, replacing a file there; an uncommitted file goes, and a
// staging path that exists is refused without touching that file.
TEST_F(win32_system_test, staged_file_takes_its_name_only_at_commit) {
  test_files::write(root_ + "setup.exe", "an older and longer content");
  {
    staged_file staged(tessel::wide(root_ + "~extract0.tmp"));
    ASSERT_TRUE(staged.created());
    ASSERT_TRUE(staged.take("new", 3));
    EXPECT_EQ(test_files::read(root_ + "setup.exe"), "an older and longer content");
    ASSERT_TRUE(staged.commit(root_ + "setup.exe"));
  }
  EXPECT_EQ(test_files::read(root_ + "setup.exe"), "new");
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

// Folders and files in any characters and beyond MAX_PATH, as the run names them.
TEST_F(win32_system_test, paths_in_any_characters_and_longer_than_max_path) {
  win32_system system(nullptr);
  const std::string folder = root_ + "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x96\x87\xF0\x9F\x93\xA6\\";
  const std::string deep = folder + std::string(200, 'd') + "\\";
  ASSERT_TRUE(system.create_private_folder(folder));
  ASSERT_TRUE(system.create_private_folder(deep));
  std::uint32_t error = 0;
  const std::unique_ptr<staged_output> staged = system.create_staged(deep + "~extract0.tmp", error);
  ASSERT_TRUE(staged) << error;
  ASSERT_TRUE(staged->take("data", 4));
  const std::string file = deep + std::string(100, 'f') + ".txt";
  ASSERT_GT(file.size(), static_cast<std::size_t>(MAX_PATH));
  ASSERT_TRUE(staged->commit(file)) << staged->error();
  EXPECT_NE(GetFileAttributesW(tessel::extended_path(file).c_str()), INVALID_FILE_ATTRIBUTES);
  system.remove_folder(folder);
  EXPECT_EQ(GetFileAttributesW(tessel::extended_path(folder).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
