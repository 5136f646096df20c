#include "support/private_security.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

#include "support/handle.h"

namespace {

// The process token's user and integrity level.
struct token_facts {
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(TOKEN_MANDATORY_LABEL) unsigned char level[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE] = {};
  token_facts() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    const tessel::unique_handle owner(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    GetTokenInformation(token, TokenIntegrityLevel, level, sizeof level, &size);
  }
  PSID user_sid() { return reinterpret_cast<TOKEN_USER*>(user)->User.Sid; }
  PSID level_sid() { return reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level)->Label.Sid; }
};

std::string sid_text(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "";
  const tessel::unique_local owner(text);
  return text;
}

std::string dacl_text(SECURITY_ATTRIBUTES* attributes) {
  char* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                                                            DACL_SECURITY_INFORMATION, &text, nullptr))
    return "";
  const tessel::unique_local owner(text);
  return text;
}

// Wine accepts a descriptor but keeps none of it (it reads back a list made from the Unix
// permissions, the file's Unix owner and no label), so the descriptors themselves are checked.
// P: protected from the parent's entries; OICI: inherited by files and folders inside; FA: full
// control; SY, BA: SYSTEM and Administrators.
TEST(private_security, lists_are_protected_and_close_an_elevated_runs_folder_to_its_user) {
  token_facts token;
  const std::string user = sid_text(token.user_sid());
  ASSERT_FALSE(user.empty());
  tessel::private_security file(tessel::private_to::run_file);
  ASSERT_NE(file.attributes(), nullptr);
  EXPECT_FALSE(file.attributes()->bInheritHandle);
  EXPECT_EQ(dacl_text(file.attributes()), "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user + ")");

  tessel::private_security folder(tessel::private_to::run_folder);
  ASSERT_NE(folder.attributes(), nullptr);
  EXPECT_EQ(dacl_text(folder.attributes()), tessel::run_is_elevated()
                                                ? "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                                                : "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")");
}

TEST(private_security, folder_carries_the_runs_own_integrity_level_with_no_write_up) {
  token_facts token;
  tessel::private_security folder(tessel::private_to::run_folder);
  ASSERT_NE(folder.attributes(), nullptr);
  BOOL present = FALSE, defaulted = FALSE;
  ACL* label = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorSacl(folder.attributes()->lpSecurityDescriptor, &present, &label, &defaulted));
  ASSERT_TRUE(present && label != nullptr && label->AceCount == 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(label, 0, &ace));
  const auto* mandatory = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
  EXPECT_EQ(mandatory->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
  EXPECT_EQ(mandatory->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_EQ(mandatory->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
  EXPECT_EQ(sid_text(const_cast<DWORD*>(&mandatory->SidStart)), sid_text(token.level_sid()));
  // A file's descriptor has no label: it lies in a folder that is not the run's.
  tessel::private_security file(tessel::private_to::run_file);
  ASSERT_TRUE(GetSecurityDescriptorSacl(file.attributes()->lpSecurityDescriptor, &present, &label, &defaulted));
  EXPECT_FALSE(present);
}

}  // namespace
