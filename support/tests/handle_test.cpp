#include "support/handle.h"

#include <gtest/gtest.h>

namespace {

// Closing an owned handle (reset, assignment, scope end) keeps the error a failed call left, and
// the handle is really closed.
TEST(unique_handle, closing_keeps_the_last_error_and_closes) {
  const auto check = [](const char* how, auto close) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    tessel::unique_handle owner(event);
    SetLastError(ERROR_FILE_NOT_FOUND);
    close(owner);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << how;
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(event, &flags)) << how << ": the handle is still open";
    EXPECT_FALSE(owner) << how;
  };
  check("reset", [](tessel::unique_handle& owner) { owner.reset(); });
  check("move assignment", [](tessel::unique_handle& owner) { owner = tessel::unique_handle(); });
  check("scope end", [](tessel::unique_handle& owner) { const tessel::unique_handle taken(std::move(owner)); });
}

TEST(unique_local, frees_system_memory_and_keeps_the_last_error) {
  void* memory = LocalAlloc(LMEM_FIXED, 64);
  ASSERT_NE(memory, nullptr);
  {
    const tessel::unique_local owner(memory);
    SetLastError(ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
