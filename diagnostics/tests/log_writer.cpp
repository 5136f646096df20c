// A second process for the cross-process log test:
//   log_writer BASE_NAME COUNT TAG START_EVENT
// attaches a log file for BASE_NAME, waits (at most 60 s) for START_EVENT, then logs COUNT lines
// "TAG NNNNNN " followed by TAG's first character 96 times (so that lines are long enough to tear
// if writes were not whole, and a torn line shows) and shuts the log down.
// Exit codes: 0 done, 2 bad arguments, 3 no start signal in time, 5 a tessel::exception.
#include <cstdlib>
#include <string>

#include "base/exception.h"
#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "support/handle.h"
#include "support/windows.h"

namespace {

int run(int argc, char** argv) {
  if (argc != 5) return 2;
  tessel::log::attach(new tessel::log::file(argv[1]));
  const tessel::unique_handle start(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
  if (!start || WaitForSingleObject(start.get(), 60000) != WAIT_OBJECT_0) return 3;
  const std::string filler(96, argv[3][0]);
  for (int i = 0, count = std::atoi(argv[2]); i < count; ++i) {
    tessel::log::write_linef("%s %06d %s", argv[3], i, filler.c_str());
  }
  tessel::log::shutdown();
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
