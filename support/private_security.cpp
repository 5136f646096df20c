#include "support/private_security.h"

#include <aclapi.h>

#include "support/handle.h"

namespace tessel {
namespace {

bool well_known_sid(WELL_KNOWN_SID_TYPE type, std::array<unsigned char, SECURITY_MAX_SID_SIZE>& sid) noexcept {
  DWORD size = static_cast<DWORD>(sid.size());
  return CreateWellKnownSid(type, nullptr, sid.data(), &size) != 0;
}

// One piece of the process token's information into `buffer`.
template <std::size_t size>
bool token_information(TOKEN_INFORMATION_CLASS what, std::array<unsigned char, size>& buffer) noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const unique_handle token_owner(token);
  DWORD needed = 0;
  return GetTokenInformation(token, what, buffer.data(), static_cast<DWORD>(size), &needed) != 0;
}

}  // namespace

bool run_is_elevated() noexcept {
  std::array<unsigned char, SECURITY_MAX_SID_SIZE> administrators{};
  BOOL member = FALSE;
  return well_known_sid(WinBuiltinAdministratorsSid, administrators) &&
         CheckTokenMembership(nullptr, administrators.data(), &member) && member;
}

private_security::private_security(private_to what) noexcept { ready_ = build(what); }

bool private_security::build(private_to what) noexcept {
  if (!token_information(TokenUser, user_) || !well_known_sid(WinLocalSystemSid, system_) ||
      !well_known_sid(WinBuiltinAdministratorsSid, administrators_))
    return false;
  const PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
  const bool folder = what == private_to::run_folder;

  const auto acl = reinterpret_cast<ACL*>(acl_.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION)) return false;
  // A folder's entries are inherited by the files (OI) and folders (CI) created inside.
  const DWORD inherit = folder ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
  const bool with_user = !folder || !run_is_elevated();
  for (const PSID sid : {PSID(system_.data()), PSID(administrators_.data()), with_user ? user : PSID(nullptr)}) {
    if (sid != nullptr && !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, sid)) return false;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      // Protected: the parent's inheritable entries do not flow in.
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return false;
  if (folder) {
    // The run's own integrity level; a label at or below it needs no privilege.
    if (!token_information(TokenIntegrityLevel, integrity_)) return false;
    const auto label = reinterpret_cast<ACL*>(label_.data());
    if (!InitializeAcl(label, static_cast<DWORD>(label_.size()), ACL_REVISION) ||
        !AddMandatoryAce(label, ACL_REVISION, inherit, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP,
                         reinterpret_cast<TOKEN_MANDATORY_LABEL*>(integrity_.data())->Label.Sid) ||
        !SetSecurityDescriptorSacl(&descriptor_, TRUE, label, FALSE))
      return false;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return true;
}

bool owned_by_the_run(HANDLE handle) noexcept {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return false;
  const unique_local descriptor_owner(descriptor);
  alignas(TOKEN_USER) std::array<unsigned char, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user{};
  std::array<unsigned char, SECURITY_MAX_SID_SIZE> system{}, administrators{};
  if (owner == nullptr || !token_information(TokenUser, user) || !well_known_sid(WinLocalSystemSid, system) ||
      !well_known_sid(WinBuiltinAdministratorsSid, administrators))
    return false;
  return EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) || EqualSid(owner, system.data()) ||
         EqualSid(owner, administrators.data());
}

}  // namespace tessel
