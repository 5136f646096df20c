#include "driver/block_writer.h"

#include <climits>

namespace tailrun {

// The events order the two threads' accesses to the block's fields: SetEvent and the wait that
// it ends are full barriers.

bool write_all(HANDLE file, const char* bytes, std::size_t count, DWORD& error) noexcept {
  while (count > 0) {
    const DWORD chunk = count > INT_MAX ? static_cast<DWORD>(INT_MAX) : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (written == 0) {
      error = ERROR_DISK_FULL;
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

block_writer::block_writer(HANDLE file) noexcept
    : file_(file), go_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!go_ || !done_) return;
  // A small stack: the thread needs little more than WriteFile's.
  thread_ = tessel::unique_handle(CreateThread(nullptr, 64 * 1024, &block_writer::run, this,
                                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

block_writer::~block_writer() {
  if (!thread_) return;
  DWORD ignored = NO_ERROR;
  wait(ignored);
  stop_ = true;
  SetEvent(go_.get());
  WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI block_writer::run(void* self) {
  block_writer& writer = *static_cast<block_writer*>(self);
  for (;;) {
    if (WaitForSingleObject(writer.go_.get(), INFINITE) != WAIT_OBJECT_0 || writer.stop_) return 0;
    if (writer.error_ == NO_ERROR) write_all(writer.file_, writer.bytes_, writer.count_, writer.error_);
    SetEvent(writer.done_.get());
  }
}

bool block_writer::wait(DWORD& error) noexcept {
  if (in_flight_) {
    if (WaitForSingleObject(done_.get(), INFINITE) != WAIT_OBJECT_0) {
      // The thread cannot be told from a stuck one: it keeps the block, so the run must not go on.
      if (error_ == NO_ERROR) error_ = GetLastError() != NO_ERROR ? GetLastError() : ERROR_INVALID_HANDLE;
      error = error_;
      return false;
    }
    in_flight_ = false;
  }
  if (error_ == NO_ERROR) return true;
  error = error_;
  return false;
}

bool block_writer::write(const char* bytes, std::size_t count, DWORD& error) noexcept {
  if (!wait(error)) return false;
  bytes_ = bytes;
  count_ = count;
  in_flight_ = true;
  SetEvent(go_.get());
  return true;
}

}  // namespace tailrun
