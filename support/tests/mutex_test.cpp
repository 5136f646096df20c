#include "support/mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/exception.h"
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

TEST(RealMutex, OwnedByItsThreadReentrantKeptWhenAnObjectGoesAndTakenOnceAbandoned) {
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
  // A thread that ends holding the mutex abandons it; the next wait takes it all the same.
  std::thread([&] { tessel::real_mutex(name).acquire(); }).join();
  EXPECT_TRUE(first.try_acquire(0));
  first.release();
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
    if (WaitForSingleObject(start.get(), 30000) != WAIT_OBJECT_0) return;  // bounded
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
