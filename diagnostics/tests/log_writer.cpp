// A second process for the log tests and the log benchmark:
//   log_writer BASE_NAME COUNT TAG [START_EVENT]
// attaches a log file for BASE_NAME, waits (at most 60 s) for START_EVENT when one is named, then
// logs COUNT lines "TAG NNNNNN" followed by a fixed filler (so that lines are long enough to tear
// if writes were not whole) and shuts the log down.
// Exit codes: 0 done, 2 bad arguments, 3 no start signal in time, 4 a tessel::exception.
#include <cstdlib>
#include <string>

#include "diagnostics/exception.h"
#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "support/handle.h"
#include "support/windows.h"

namespace {

constexpr DWORD start_timeout_ms = 60000;
constexpr char filler[] =
    "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz";

int run(int argc, char** argv) {
  if (argc < 4) return 2;
  const int count = std::atoi(argv[2]);
  if (count < 0) return 2;
  tessel::log::attach(new tessel::log::file(argv[1]));
  if (argc > 4) {
    const tessel::unique_handle start(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
    if (!start || WaitForSingleObject(start.get(), start_timeout_ms) != WAIT_OBJECT_0) return 3;
  }
  for (int i = 0; i < count; ++i) tessel::log::write_linef("%s %06d %s", argv[3], i, filler);
  tessel::log::shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const tessel::exception&) {
    return 4;
  }
}
