// A second process for the named-mutex tests:
//   support_mutex_holder NAME hold READY_EVENT QUIT_EVENT
//     takes the mutex, signals READY_EVENT, waits (at most 60 s) for QUIT_EVENT, releases, exits 0.
//   support_mutex_holder NAME abandon READY_EVENT
//     takes the mutex, signals READY_EVENT and exits without releasing it.
// Exit codes: 0 done, 2 bad arguments or events, 3 mutex not taken, 4 no quit signal in time,
// 5 a tessel::exception.
#include <string>

#include "diagnostics/exception.h"
#include "support/handle.h"
#include "support/mutex.h"
#include "support/windows.h"

namespace {

constexpr DWORD quit_timeout_ms = 60000;

tessel::unique_handle open_event(const char* name) {
  return tessel::unique_handle(OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name));
}

int run(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[2];
  const bool hold = mode == "hold";
  if (!hold && mode != "abandon") return 2;
  if (hold && argc < 5) return 2;

  const tessel::unique_handle ready = open_event(argv[3]);
  const tessel::unique_handle quit = hold ? open_event(argv[4]) : tessel::unique_handle();
  if (!ready || (hold && !quit)) return 2;

  tessel::real_mutex mutex(argv[1]);
  if (!mutex.try_acquire(0)) return 3;
  SetEvent(ready.get());
  if (!hold) return 0;  // the mutex object closes its handle without releasing

  if (WaitForSingleObject(quit.get(), quit_timeout_ms) != WAIT_OBJECT_0) return 4;
  mutex.release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const tessel::exception&) {
    return 5;
  }
}
