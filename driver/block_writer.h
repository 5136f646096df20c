// A file's data written on a thread of its own, one block at a time, so that the run reads and
// hashes the next block meanwhile (Windows).
#pragma once
#include <cstddef>

#include "support/handle.h"
#include "support/windows.h"

namespace tailrun {

// Writes all `count` bytes to `file`; false on a failed write, or a short one that reports
// success (nothing more fits: ERROR_DISK_FULL), with `error` set.
bool write_all(HANDLE file, const char* bytes, std::size_t count, DWORD& error) noexcept;

// The writing thread of one file. It runs this file's code only and calls nothing but the system
// (the stub's run-time serves one thread). Not movable: the thread holds its address.
class block_writer {
 public:
  // Starts the thread; started() is false when the system cannot (the caller writes itself).
  explicit block_writer(HANDLE file) noexcept;
  // Waits for the block in flight, then ends the thread.
  ~block_writer();
  block_writer(const block_writer&) = delete;
  block_writer& operator=(const block_writer&) = delete;

  bool started() const { return static_cast<bool>(thread_); }

  // Waits for the block in flight, then hands `bytes` to the thread; they must stay valid and
  // unchanged until the next write() or wait(). False, with `error`, when an earlier block failed.
  bool write(const char* bytes, std::size_t count, DWORD& error) noexcept;

  // Waits for the block in flight; false, with `error`, when any block failed.
  bool wait(DWORD& error) noexcept;

 private:
  static DWORD WINAPI run(void* self);

  HANDLE file_;
  const char* bytes_ = nullptr;
  std::size_t count_ = 0;
  DWORD error_ = NO_ERROR;  // the first failure; the thread writes nothing after it
  bool stop_ = false;
  bool in_flight_ = false;
  tessel::unique_handle go_;    // auto-reset: a block (or the stop) is ready
  tessel::unique_handle done_;  // auto-reset: the block is written
  tessel::unique_handle thread_;
};

}  // namespace tailrun
