// Locks: a named mutex shared between processes, an in-process critical section, and a scoped
// holder of either. Windows only.
#pragma once
#include <cstdint>
#include <string>

#include "support/handle.h"
#include "support/windows.h"

namespace tessel {

// Something that can be locked and unlocked. Objects are never deleted through this interface.
class scope_semantics {
 public:
  // Takes the lock, waiting without limit.
  virtual void acquire() = 0;
  // Gives the lock back.
  virtual void release() = 0;

 protected:
  scope_semantics() = default;
  scope_semantics(const scope_semantics&) = default;
  scope_semantics& operator=(const scope_semantics&) = default;
  ~scope_semantics() = default;
};

// The name under which a named mutex is created on a system of major version `major_version`:
// up to 4 (no namespaces) everything up to and including the last backslash is cut off; from 5 on
// a name without a backslash is put into the global namespace ("Global\\" in front), and a name
// that has one (its own namespace prefix) is kept.
std::string mutex_name_for_version(const std::string& name, unsigned long major_version);

// A named operating-system mutex, shared by every process (of any user) that opens the same name.
// Ownership belongs to the thread that acquired it.
class real_mutex final : public scope_semantics {
 public:
  // Opens or creates the mutex without taking it. The name is adjusted for the running system
  // (see mutex_name_for_version). Throws tessel::exception "OpenMutex returned 0x%08x".
  explicit real_mutex(const std::string& name);
  // Closes the handle without releasing: a mutex still held stays owned until its thread ends,
  // and is then abandoned.
  ~real_mutex();

  real_mutex(const real_mutex&) = delete;
  real_mutex& operator=(const real_mutex&) = delete;

  // Waits at most `timeout_ms` milliseconds (INFINITE for no limit). True when the mutex was
  // taken, also when its previous owner ended without releasing it; false when the time passed.
  // Throws tessel::exception "WaitForSingleObject returned 0x%08x" when the wait fails.
  bool try_acquire(std::uint32_t timeout_ms);
  // try_acquire without limit.
  void acquire() override;
  // Throws tessel::exception "ReleaseMutex returned 0x%08x", for example when the calling thread
  // does not own the mutex.
  void release() override;

 private:
  unique_handle handle;
};

// An in-process lock over a critical section; re-entrant for the owning thread. Never fails. The
// log's dispatcher derives from it.
class mutex : public scope_semantics {
 public:
  mutex();
  ~mutex();

  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;

  void acquire() override;
  void release() override;

 private:
  CRITICAL_SECTION critical_section;
};

// Holds a lock for the lifetime of a region: acquires `target` when made and releases it once,
// by `release` or at the end of the region, whichever comes first. A null target makes every
// operation do nothing.
class scope final : public scope_semantics {
 public:
  explicit scope(scope_semantics* held);
  // Does what `release` does. An exception from the target's release propagates (and ends the
  // program if the region is already being left by an exception).
  ~scope() noexcept(false);

  scope(const scope&) = delete;
  scope& operator=(const scope&) = delete;

  // Acquires the target again, while there is one.
  void acquire() override;
  // Releases the target and forgets it; later calls do nothing.
  void release() override;

 private:
  scope_semantics* target;
};

}  // namespace tessel
