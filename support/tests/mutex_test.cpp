#include "support/mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "diagnostics/exception.h"
#include "support/handle.h"
#include "support/windows.h"

namespace {

// Bound for every wait on the helper process (its start under Wine takes well under a second).
constexpr DWORD process_timeout_ms = 30000;

// A name no other test run uses: the process id and a counter.
std::string unique_name(const char* what) {
  static int counter = 0;
  return "tailrun-test-" + std::to_string(GetCurrentProcessId()) + "-" + what + "-" + std::to_string(++counter);
}

bool is_current_system() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExA(&version) && version.dwMajorVersion >= 5;
}

// Whether a thread other than the caller can take the mutex `name` at once (it gives it back).
bool other_thread_can_take(const std::string& name) {
  bool taken = false;
  std::thread other([&] {
    tessel::real_mutex mutex(name);
    taken = mutex.try_acquire(0);
    if (taken) mutex.release();
  });
  other.join();
  return taken;
}

// The helper program beside this test executable, holding a named mutex in a second process.
class holder_process {
 public:
  enum class mode { hold, abandon };

  holder_process(const std::string& mutex_name, mode how) {
    const std::string ready_name = unique_name("ready");
    const std::string quit_name = unique_name("quit");
    ready_.reset(CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str()));
    quit_.reset(CreateEventA(nullptr, TRUE, FALSE, quit_name.c_str()));
    if (!ready_ || !quit_) return;

    std::string command = "\"" + helper_path() + "\" " + mutex_name;
    command += how == mode::hold ? " hold " + ready_name + " " + quit_name : " abandon " + ready_name;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return;
    process_.reset(info.hProcess);
    CloseHandle(info.hThread);
  }

  ~holder_process() {
    if (!process_) return;
    SetEvent(quit_.get());
    if (WaitForSingleObject(process_.get(), process_timeout_ms) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 99);
  }

  holder_process(const holder_process&) = delete;
  holder_process& operator=(const holder_process&) = delete;

  // True once the helper holds the mutex; false when it ended first or took too long.
  bool wait_ready() {
    if (!process_) return false;
    const HANDLE handles[] = {ready_.get(), process_.get()};
    return WaitForMultipleObjects(2, handles, FALSE, process_timeout_ms) == WAIT_OBJECT_0;
  }

  void quit() { SetEvent(quit_.get()); }

  // The helper's exit code, or 0xFFFFFFFF when it did not end in time.
  DWORD wait_exit() {
    if (WaitForSingleObject(process_.get(), process_timeout_ms) != WAIT_OBJECT_0) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  static std::string helper_path() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string result(path, length);
    result.erase(result.find_last_of('\\') + 1);
    return result + "support_mutex_holder.exe";
  }

  tessel::unique_handle ready_;
  tessel::unique_handle quit_;
  tessel::unique_handle process_;
};

TEST(MutexName, AdjustedForTheSystemVersion) {
  struct name_case {
    const char* name;
    unsigned long major;
    const char* expected;
  };
  const name_case cases[] = {
      {"Quorvane.Installation", 6, "Global\\Quorvane.Installation"},
      {"Quorvane.Installation", 5, "Global\\Quorvane.Installation"},
      {"Local\\x", 6, "Local\\x"},
      {"Global\\x", 10, "Global\\x"},
      {"a\\b\\c", 5, "a\\b\\c"},
      {"", 6, "Global\\"},
      {"Quorvane.Installation", 4, "Quorvane.Installation"},
      {"Global\\x", 4, "x"},
      {"a\\b\\c", 3, "c"},
      {"ends\\", 4, ""},
  };
  for (const name_case& c : cases) {
    EXPECT_EQ(tessel::mutex_name_for_version(c.name, c.major), c.expected) << c.name << " on " << c.major;
  }
}

TEST(RealMutex, NameWithoutBackslashLiesInTheGlobalNamespace) {
  if (!is_current_system()) GTEST_SKIP() << "system without namespaces";
  const std::string name = unique_name("global");
  const tessel::real_mutex mutex(name);
  EXPECT_TRUE(tessel::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\" + name).c_str())));
  EXPECT_FALSE(tessel::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, ("Local\\" + name).c_str())));
}

TEST(RealMutex, NameWithItsOwnNamespaceIsKept) {
  if (!is_current_system()) GTEST_SKIP() << "system without namespaces";
  const std::string name = unique_name("local");
  const tessel::real_mutex mutex("Local\\" + name);
  EXPECT_TRUE(tessel::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, ("Local\\" + name).c_str())));
  EXPECT_FALSE(tessel::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\" + name).c_str())));
}

TEST(RealMutex, NameTakenByAnotherKindOfObjectThrows) {
  const std::string name = unique_name("event");
  const tessel::unique_handle event(CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + name).c_str()));
  ASSERT_TRUE(event);
  try {
    tessel::real_mutex mutex(name);
    FAIL() << "no exception";
  } catch (const tessel::exception& e) {
    EXPECT_STREQ(e.message(), "OpenMutex returned 0x00000006");  // ERROR_INVALID_HANDLE
    EXPECT_STREQ(e.category(), "");
    EXPECT_STREQ(e.what(), "[OpenMutex returned 0x00000006]");
  }
}

TEST(RealMutex, ReleaseWithoutOwnershipThrows) {
  tessel::real_mutex mutex(unique_name("unowned"));
  try {
    mutex.release();
    FAIL() << "no exception";
  } catch (const tessel::exception& e) {
    EXPECT_STREQ(e.message(), "ReleaseMutex returned 0x00000120");  // ERROR_NOT_OWNER
    EXPECT_STREQ(e.what(), "[ReleaseMutex returned 0x00000120]");
  }
}

TEST(RealMutex, SharedByTwoThreadsAndReentrantForTheOwner) {
  const std::string name = unique_name("threads");
  tessel::real_mutex first(name);
  first.acquire();
  EXPECT_FALSE(other_thread_can_take(name));

  // The owning thread takes it again, also through another object of the same name.
  tessel::real_mutex second(name);
  EXPECT_TRUE(second.try_acquire(0));
  second.release();
  EXPECT_FALSE(other_thread_can_take(name)) << "still held once";

  first.release();
  EXPECT_TRUE(other_thread_can_take(name));
}

TEST(RealMutex, DestroyingAHeldObjectDoesNotRelease) {
  const std::string name = unique_name("destroyed");
  tessel::real_mutex keeper(name);  // keeps the mutex in existence
  {
    tessel::real_mutex held(name);
    ASSERT_TRUE(held.try_acquire(0));
  }
  EXPECT_FALSE(other_thread_can_take(name));
  keeper.release();  // this thread still owns it
  EXPECT_TRUE(other_thread_can_take(name));
}

TEST(RealMutex, HeldByAnotherProcess) {
  const std::string name = unique_name("held");
  tessel::real_mutex mine(name);
  holder_process holder(name, holder_process::mode::hold);
  ASSERT_TRUE(holder.wait_ready());

  EXPECT_FALSE(mine.try_acquire(0));
  EXPECT_FALSE(mine.try_acquire(20)) << "a short time-out passes too";

  holder.quit();
  EXPECT_EQ(holder.wait_exit(), 0u);
  EXPECT_TRUE(mine.try_acquire(0));
  mine.release();
}

TEST(RealMutex, AbandonedByAnotherProcess) {
  const std::string name = unique_name("abandoned");
  tessel::real_mutex mine(name);  // opened first, so the mutex outlives the helper
  holder_process holder(name, holder_process::mode::abandon);
  ASSERT_TRUE(holder.wait_ready());
  EXPECT_EQ(holder.wait_exit(), 0u);

  EXPECT_TRUE(mine.try_acquire(0));
  mine.release();
}

// Counts calls; its release can be told to throw.
class recording_lock final : public tessel::scope_semantics {
 public:
  void acquire() override { ++acquired; }
  void release() override {
    ++released;
    if (fail_release) throw tessel::exception(std::string("release failed"));
  }

  int acquired = 0;
  int released = 0;
  bool fail_release = false;
};

TEST(Scope, WithoutTargetDoesNothing) {
  tessel::scope empty(nullptr);
  empty.acquire();
  empty.release();
  empty.release();
  SUCCEED();
}

TEST(Scope, AcquiresOnConstructionAndReleasesOnce) {
  recording_lock lock;
  {
    tessel::scope held(&lock);
    EXPECT_EQ(lock.acquired, 1);
    EXPECT_EQ(lock.released, 0);
    held.release();
    held.release();
    EXPECT_EQ(lock.released, 1);
    held.acquire();  // no target any more
    EXPECT_EQ(lock.acquired, 1);
  }
  EXPECT_EQ(lock.released, 1) << "the destructor must not release again";
}

TEST(Scope, ReleasesAtTheEndOfTheRegion) {
  recording_lock lock;
  {
    tessel::scope held(&lock);
    held.acquire();
    EXPECT_EQ(lock.acquired, 2);
  }
  EXPECT_EQ(lock.released, 1);
}

TEST(Scope, ReleasesWhenTheRegionEndsByAnException) {
  recording_lock lock;
  try {
    tessel::scope held(&lock);
    throw tessel::exception(std::string("inside"));
  } catch (const tessel::exception&) {
  }
  EXPECT_EQ(lock.released, 1);
}

TEST(Scope, FailedReleaseIsNotRetried) {
  recording_lock lock;
  lock.fail_release = true;
  {
    tessel::scope held(&lock);
    EXPECT_THROW(held.release(), tessel::exception);
  }
  EXPECT_EQ(lock.released, 1);
}

TEST(Scope, HoldsANamedMutex) {
  const std::string name = unique_name("scope");
  tessel::real_mutex mutex(name);
  {
    tessel::scope held(&mutex);
    EXPECT_FALSE(other_thread_can_take(name));
  }
  EXPECT_TRUE(other_thread_can_take(name));
}

TEST(Mutex, ReentrantForTheOwningThread) {
  tessel::mutex lock;
  lock.acquire();
  lock.acquire();
  lock.release();
  lock.release();
  tessel::scope held(&lock);
  SUCCEED();
}

TEST(Mutex, SerialisesThreads) {
  tessel::mutex lock;
  long counter = 0;
  constexpr int rounds = 2000;
  // Both threads start together, so that their rounds overlap.
  const tessel::unique_handle start(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(start);
  auto work = [&] {
    if (WaitForSingleObject(start.get(), process_timeout_ms) != WAIT_OBJECT_0) return;
    for (int i = 0; i < rounds; ++i) {
      tessel::scope held(&lock);
      // A read, a chance for the other thread to run, then the write: without exclusion
      // updates get lost.
      const long seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
    }
  };
  std::thread a(work);
  std::thread b(work);
  SetEvent(start.get());
  a.join();
  b.join();
  EXPECT_EQ(counter, 2L * rounds);
}

}  // namespace
