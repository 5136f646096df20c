// A second process for the named-mutex tests:
//   support_mutex_holder NAME hold READY_EVENT QUIT_EVENT
//     takes the mutex, signals READY_EVENT, waits (bounded) for QUIT_EVENT, releases, exits 0.
//   support_mutex_holder NAME abandon READY_EVENT
//     takes the mutex, signals READY_EVENT and exits without releasing it.
// Exit codes: 0 done, 2 bad arguments or events, 3 mutex not taken, 4 no quit signal in time,
// 5 a tessel::exception.
#include <string>

#include "support/mutex.h"
#include "support/tests/test_helpers.h"

namespace {

int run(int argc, char** argv) {
  const bool hold = argc == 5 && std::string(argv[2]) == "hold";
  if (!hold && !(argc == 4 && std::string(argv[2]) == "abandon")) return 2;
  const tessel::unique_handle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]));
  if (!ready) return 2;

  tessel::real_mutex mutex(argv[1]);
  if (!mutex.try_acquire(0)) return 3;
  SetEvent(ready.get());
  if (!hold) return 0;  // the mutex object closes its handle without releasing

  if (!tessel::test::event_set_in_time(argv[4])) return 4;
  mutex.release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tessel::test::helper_main(run, argc, argv); }
