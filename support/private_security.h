// Security descriptors for what the run creates for itself, and the owner rule for files it finds in
// a shared folder (Windows).
#pragma once
#include <array>
#include <cstddef>

#include "support/windows.h"

namespace tessel {

// Who may open what the run creates.
enum class private_to {
  // The working folder: SYSTEM and Administrators, and the run's user only when the run is not
  // elevated (a user's unelevated processes hold Administrators for deny only, so an elevated
  // run's folder is closed to them). A mandatory label at the run's integrity level with no write
  // up keeps processes of lower integrity out whatever the list says. Both are inherited by every
  // file and folder created inside.
  run_folder,
  // A log file: SYSTEM, Administrators and the run's user.
  run_file,
};

// A protected descriptor (nothing inherited from the parent folder, such as %TEMP%) for
// CreateDirectoryW or CreateFileW. Holds its SIDs and lists itself; not copyable.
class private_security {
 public:
  // Never throws; attributes() is null when the token or the lists could not be read or built.
  explicit private_security(private_to what) noexcept;
  private_security(const private_security&) = delete;
  private_security& operator=(const private_security&) = delete;

  // The descriptor, with handles not inheritable; null when building failed.
  SECURITY_ATTRIBUTES* attributes() noexcept { return ready_ ? &attributes_ : nullptr; }

 private:
  using sid_buffer = std::array<unsigned char, SECURITY_MAX_SID_SIZE>;
  // Three ACEs, each at most its header, mask and a SID of the largest size.
  static constexpr std::size_t acl_capacity = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  static constexpr std::size_t label_capacity = sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) + SECURITY_MAX_SID_SIZE;

  bool build(private_to what) noexcept;

  sid_buffer system_{}, administrators_{};
  // TOKEN_USER and TOKEN_MANDATORY_LABEL, each followed by the SID it points to.
  alignas(TOKEN_USER) std::array<unsigned char, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user_{};
  alignas(TOKEN_MANDATORY_LABEL) std::array<unsigned char, sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE>
      integrity_{};
  alignas(ACL) std::array<unsigned char, acl_capacity> acl_{};
  alignas(ACL) std::array<unsigned char, label_capacity> label_{};
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

// Whether the run's token holds the Administrators group enabled (an elevated run).
bool run_is_elevated() noexcept;

// Whether the owner of the open file or folder `handle` (opened with READ_CONTROL) is the run's
// user, SYSTEM or Administrators: a file that someone else created in a shared folder is false,
// and so is one whose owner cannot be read.
bool owned_by_the_run(HANDLE handle) noexcept;

}  // namespace tessel
