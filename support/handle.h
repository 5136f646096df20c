// One move-only owner per kind of OS handle.
#pragma once
#include <utility>

#include "support/windows.h"

namespace tessel {

// `Traits` names the handle type, its invalid value and how it is closed.
template <class Traits>
class unique_os_handle {
 public:
  using handle_type = typename Traits::type;

  unique_os_handle() noexcept : handle_(Traits::invalid()) {}
  explicit unique_os_handle(handle_type handle) noexcept : handle_(handle) {}
  ~unique_os_handle() { reset(); }
  unique_os_handle(unique_os_handle&& other) noexcept : handle_(other.release()) {}
  unique_os_handle& operator=(unique_os_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_os_handle(const unique_os_handle&) = delete;
  unique_os_handle& operator=(const unique_os_handle&) = delete;

  handle_type get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  // Gives up ownership without closing.
  handle_type release() noexcept { return std::exchange(handle_, Traits::invalid()); }

  // Closes the held handle (if any) and takes `handle`. The thread's last error stays as it was,
  // so an owner that goes out of scope between a failed call and GetLastError hides nothing.
  void reset(handle_type handle = Traits::invalid()) noexcept {
    if (handle_ != Traits::invalid()) {
      const DWORD error = GetLastError();
      Traits::close(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

 private:
  handle_type handle_;
};

// CreateFile handles: invalid is INVALID_HANDLE_VALUE.
struct file_handle_traits {
  using type = HANDLE;
  static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(type handle) noexcept { CloseHandle(handle); }
};

// Kernel object handles (mutexes, processes, threads): invalid is null.
struct kernel_handle_traits {
  using type = HANDLE;
  static type invalid() noexcept { return nullptr; }
  static void close(type handle) noexcept { CloseHandle(handle); }
};

// FindFirstFile handles.
struct find_handle_traits {
  using type = HANDLE;
  static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(type handle) noexcept { FindClose(handle); }
};

// Registry keys.
struct registry_key_traits {
  using type = HKEY;
  static type invalid() noexcept { return nullptr; }
  static void close(type key) noexcept { RegCloseKey(key); }
};

// Memory the system allocated for the caller (FormatMessage, the security-descriptor and SID text
// conversions): released with LocalFree.
struct local_memory_traits {
  using type = void*;
  static type invalid() noexcept { return nullptr; }
  static void close(type memory) noexcept { LocalFree(memory); }
};

using unique_file = unique_os_handle<file_handle_traits>;
using unique_handle = unique_os_handle<kernel_handle_traits>;
using unique_find = unique_os_handle<find_handle_traits>;
using unique_hkey = unique_os_handle<registry_key_traits>;
using unique_local = unique_os_handle<local_memory_traits>;

}  // namespace tessel
