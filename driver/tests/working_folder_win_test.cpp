#include "driver/folder_security.h"
#include "driver/working_folder.h"

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

using create_working_folder_test = test_files::temp_folder_test;

// Prepared folders (one with a planted DLL) and a plain file of the next names are passed over
// untouched; the run gets the first name it could create itself. (The try limit and the wrap are
// checked on the host, through the same loop.)
TEST_F(create_working_folder_test, passes_over_prepared_folders_and_files) {
  ASSERT_TRUE(CreateDirectoryA((root_ + "QVT7000").c_str(), nullptr));
  ASSERT_TRUE(make_file(root_ + "QVT7000\\version.dll"));
  ASSERT_TRUE(make_file(root_ + "QVT7001"));
  ASSERT_TRUE(CreateDirectoryA((root_ + "QVT7002").c_str(), nullptr));

  EXPECT_EQ(create_working_folder(root_, 7000), root_ + "QVT7003\\");
  const DWORD made = GetFileAttributesA((root_ + "QVT7003").c_str());
  EXPECT_TRUE(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY) != 0);
  EXPECT_TRUE(exists(root_ + "QVT7000\\version.dll"));
  EXPECT_FALSE(exists(root_ + "QVT7003\\version.dll"));
  // A folder that cannot be made (its parent is missing) is a failure.
  EXPECT_EQ(create_working_folder(root_ + "missing\\", 7000), "");
}

}  // namespace
