#include "support/mutex.h"

#include "base/exception.h"

namespace tessel {
namespace {

unsigned long system_major_version() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  return version.dwMajorVersion;
}

}  // namespace

std::string mutex_name_for_version(const std::string& name, unsigned long major_version) {
  const std::string::size_type last_backslash = name.rfind('\\');
  if (major_version <= 4) {
    return last_backslash == std::string::npos ? name : name.substr(last_backslash + 1);
  }
  return last_backslash == std::string::npos ? "Global\\" + name : name;
}

real_mutex::real_mutex(const std::string& name) {
  // A present but null DACL: every user may open the mutex, so runs of other users see it too.
  SECURITY_DESCRIPTOR descriptor{};
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = FALSE;

  const std::string system_name = mutex_name_for_version(name, system_major_version());
  // CreateMutexA also opens an existing mutex of that name; it fails when the existing one denies
  // full access, and then the right to release it may still be granted.
  handle.reset(CreateMutexA(&attributes, FALSE, system_name.c_str()));
  if (!handle) handle.reset(OpenMutexA(MUTEX_MODIFY_STATE, FALSE, system_name.c_str()));
  if (!handle) throw exception("OpenMutex returned 0x%08x", static_cast<unsigned>(GetLastError()));
}

real_mutex::~real_mutex() = default;

bool real_mutex::try_acquire(std::uint32_t timeout_ms) {
  const DWORD result = WaitForSingleObject(handle.get(), timeout_ms);
  if (result == WAIT_TIMEOUT) return false;
  if (result == WAIT_FAILED) {
    throw exception("WaitForSingleObject returned 0x%08x", static_cast<unsigned>(GetLastError()));
  }
  return true;  // WAIT_OBJECT_0, or WAIT_ABANDONED when the previous owner ended holding it
}

void real_mutex::acquire() { try_acquire(INFINITE); }

void real_mutex::release() {
  if (!ReleaseMutex(handle.get())) {
    throw exception("ReleaseMutex returned 0x%08x", static_cast<unsigned>(GetLastError()));
  }
}

mutex::mutex() { InitializeCriticalSection(&critical_section); }

mutex::~mutex() { DeleteCriticalSection(&critical_section); }

void mutex::acquire() { EnterCriticalSection(&critical_section); }

void mutex::release() { LeaveCriticalSection(&critical_section); }

scope::scope(scope_semantics* held) : target(held) {
  if (target != nullptr) target->acquire();
}

scope::~scope() noexcept(false) { release(); }

void scope::acquire() {
  if (target != nullptr) target->acquire();
}

void scope::release() {
  if (target == nullptr) return;
  // Forgotten first: if the target's release throws, the destructor must not try again.
  scope_semantics* const held = target;
  target = nullptr;
  held->release();
}

}  // namespace tessel
