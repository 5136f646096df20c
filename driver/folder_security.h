// The access list of the run's working folder: full control for SYSTEM, Administrators and the
// user the process runs as, nobody else; protected (nothing inherited from the parent folder,
// such as %TEMP%) and inherited by every file and folder created inside.
#pragma once
#include <array>
#include <cstddef>

#include "support/windows.h"

class private_folder_security {
 public:
  // Builds the descriptor for the process's own user. Never throws; `attributes` is null when the
  // user or the list could not be determined.
  private_folder_security() noexcept;
  private_folder_security(const private_folder_security&) = delete;
  private_folder_security& operator=(const private_folder_security&) = delete;

  // For CreateDirectoryW: the descriptor, not inheritable handles. Null when building failed.
  SECURITY_ATTRIBUTES* attributes() noexcept { return ready_ ? &attributes_ : nullptr; }

 private:
  using sid_buffer = std::array<unsigned char, SECURITY_MAX_SID_SIZE>;
  // Three ACEs, each at most its header, mask and a SID of the largest size.
  static constexpr std::size_t acl_capacity = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);

  bool build() noexcept;

  sid_buffer system_{}, administrators_{};
  // TOKEN_USER followed by the SID it points to.
  alignas(TOKEN_USER) std::array<unsigned char, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user_{};
  alignas(ACL) std::array<unsigned char, acl_capacity> acl_{};
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};
