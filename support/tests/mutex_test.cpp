#include "support/mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/tests/test_helpers.h"

namespace {

using tessel::test::thrown;

// A name no other test run uses: the process id and a counter.
std::string unique_name(const char* what) {
  static int counter = 0;
  return "tailrun-test-" + std::to_string(GetCurrentProcessId()) + "-" + what + "-" + std::to_string(++counter);
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

// support_mutex_holder in a second process: takes the mutex `name`, signals `ready_`, then
// releases it once `quit_` is set, or (abandon) exits holding it.
class holder_process {
 public:
  holder_process(const std::string& name, bool abandon) {
    const std::string ready_name = unique_name("ready"), quit_name = unique_name("quit");
    ready_.reset(CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str()));
    quit_.reset(CreateEventA(nullptr, TRUE, FALSE, quit_name.c_str()));
    if (ready_ && quit_) {
      process_ = tessel::test::start_helper(
          "support_mutex_holder.exe",
          name + (abandon ? " abandon " + ready_name : " hold " + ready_name + " " + quit_name));
    }
  }
  ~holder_process() {
    if (process_ && !exited_with_zero()) TerminateProcess(process_.get(), 99);
  }
  holder_process(const holder_process&) = delete;
  holder_process& operator=(const holder_process&) = delete;

  // True once the helper holds the mutex; false when it ended first or took too long.
  bool wait_ready() {
    const HANDLE handles[] = {ready_.get(), process_.get()};
    return process_ && WaitForMultipleObjects(2, handles, FALSE, tessel::test::timeout_ms) == WAIT_OBJECT_0;
  }

  // Tells the helper to quit; true when it then ends in time with exit code 0.
  bool exited_with_zero() {
    SetEvent(quit_.get());
    return tessel::test::exit_code(process_.get()) == 0;
  }

 private:
  tessel::unique_handle ready_, quit_, process_;
};

TEST(MutexName, AdjustedForTheSystemVersion) {
  const struct {
    const char* name;
    unsigned long major;
    const char* expected;
  } cases[] = {
      {"Quorvane.Installation", 5, "Global\\Quorvane.Installation"},
      {"Local\\x", 6, "Local\\x"},
      {"a\\b\\c", 5, "a\\b\\c"},
      {"", 6, "Global\\"},
      {"Quorvane.Installation", 4, "Quorvane.Installation"},
      {"Global\\x", 4, "x"},
      {"a\\b\\c", 3, "c"},
      {"ends\\", 4, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tessel::mutex_name_for_version(c.name, c.major), c.expected) << c.name << " on " << c.major;
  }
}

TEST(RealMutex, NameWithoutBackslashLiesInTheGlobalNamespaceOthersKeepTheirs) {
  const auto opens = [](const std::string& name) {
    return static_cast<bool>(tessel::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())));
  };
  const std::string global = unique_name("global"), local = unique_name("local");
  const tessel::real_mutex global_mutex(global), local_mutex("Local\\" + local);
  EXPECT_TRUE(opens("Global\\" + global));
  EXPECT_FALSE(opens("Local\\" + global));
  EXPECT_TRUE(opens("Local\\" + local));
  EXPECT_FALSE(opens("Global\\" + local));
}

TEST(RealMutex, FailuresThrowWithTheSystemErrorCode) {
  const std::string name = unique_name("event");
  const tessel::unique_handle event(CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + name).c_str()));
  ASSERT_TRUE(event);
  EXPECT_EQ(thrown([&] { tessel::real_mutex mutex(name); }), "[OpenMutex returned 0x00000006]");  // invalid handle
  tessel::real_mutex unowned(unique_name("unowned"));
  EXPECT_EQ(thrown([&] { unowned.release(); }), "[ReleaseMutex returned 0x00000120]");  // not the owner
}

TEST(RealMutex, OwnedByItsThreadReentrantAndKeptWhenAnObjectGoes) {
  const std::string name = unique_name("threads");
  tessel::real_mutex first(name);
  first.acquire();
  EXPECT_FALSE(other_thread_can_take(name));
  {
    // The owning thread takes it again through another object, which goes without releasing.
    tessel::real_mutex second(name);
    EXPECT_TRUE(second.try_acquire(0));
  }
  first.release();
  EXPECT_FALSE(other_thread_can_take(name)) << "still held once";
  first.release();
  EXPECT_TRUE(other_thread_can_take(name));
}

TEST(RealMutex, HeldOrAbandonedByAnotherProcess) {
  for (const bool abandon : {false, true}) {
    const std::string name = unique_name("other");
    tessel::real_mutex mine(name);  // opened first, so an abandoned mutex outlives the helper
    holder_process holder(name, abandon);
    ASSERT_TRUE(holder.wait_ready()) << abandon;
    if (!abandon) {
      EXPECT_FALSE(mine.try_acquire(0));
      EXPECT_FALSE(mine.try_acquire(20)) << "a short time-out passes too";
    }
    EXPECT_TRUE(holder.exited_with_zero()) << abandon;
    EXPECT_TRUE(mine.try_acquire(0)) << abandon;
    mine.release();
  }
}

// Counts calls; its release can be told to throw.
class recording_lock final : public tessel::scope_semantics {
 public:
  void acquire() override { ++acquired; }
  void release() override {
    ++released;
    if (fail_release) throw tessel::exception(std::string("release failed"));
  }
  int acquired = 0, released = 0;
  bool fail_release = false;
};

TEST(Scope, ReleasesItsTargetOnceByReleaseOrAtTheEndOfTheRegion) {
  recording_lock lock;
  {
    tessel::scope held(&lock);
    EXPECT_EQ(lock.acquired, 1);
    held.acquire();
    EXPECT_EQ(lock.acquired, 2);
    EXPECT_EQ(lock.released, 0);
  }
  EXPECT_EQ(lock.released, 1);
  {
    tessel::scope held(&lock);
    held.release();
    held.release();
    held.acquire();  // no target any more
  }
  EXPECT_EQ(lock.acquired, 3);
  EXPECT_EQ(lock.released, 2);
  lock.fail_release = true;
  {
    tessel::scope held(&lock);
    EXPECT_THROW(held.release(), tessel::exception);
  }
  EXPECT_EQ(lock.released, 3) << "a failed release is not retried";
  tessel::scope empty(nullptr);  // a null target makes every operation do nothing
  empty.acquire();
  empty.release();
}

TEST(Mutex, SerialisesThreadsAndIsReentrant) {
  tessel::mutex lock;
  long counter = 0;
  constexpr int rounds = 2000;
  // Both threads start together, so that their rounds overlap.
  const tessel::unique_handle start(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(start);
  auto work = [&] {
    if (WaitForSingleObject(start.get(), tessel::test::timeout_ms) != WAIT_OBJECT_0) return;
    for (int i = 0; i < rounds; ++i) {
      tessel::scope held(&lock);
      tessel::scope again(&lock);  // the owning thread takes it again
      // A read, a chance for the other thread to run, then the write: without exclusion updates
      // get lost.
      const long seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
    }
  };
  std::thread a(work), b(work);
  SetEvent(start.get());
  a.join();
  b.join();
  EXPECT_EQ(counter, 2L * rounds);
}

}  // namespace
