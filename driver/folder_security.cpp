#include "driver/folder_security.h"

#include "support/handle.h"

namespace {

bool well_known_sid(WELL_KNOWN_SID_TYPE type, std::array<unsigned char, SECURITY_MAX_SID_SIZE>& sid) {
  DWORD size = static_cast<DWORD>(sid.size());
  return CreateWellKnownSid(type, nullptr, sid.data(), &size) != 0;
}

}  // namespace

private_folder_security::private_folder_security() noexcept { ready_ = build(); }

bool private_folder_security::build() noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const tessel::unique_handle token_owner(token);
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, user_.data(), static_cast<DWORD>(user_.size()), &size)) return false;
  const PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
  if (!well_known_sid(WinLocalSystemSid, system_) || !well_known_sid(WinBuiltinAdministratorsSid, administrators_))
    return false;

  const auto acl = reinterpret_cast<ACL*>(acl_.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION)) return false;
  // Inherited by files (OI) and folders (CI) created inside.
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  for (const PSID sid : {PSID(system_.data()), PSID(administrators_.data()), user}) {
    if (!AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, sid)) return false;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      // Protected: the parent's inheritable entries do not flow in.
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return false;
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return true;
}
