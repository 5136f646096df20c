// A second process for the cross-process log tests:
//   log_writer BASE_NAME COUNT TAG [START_EVENT]
// attaches a log file for BASE_NAME, waits (bounded) for START_EVENT when one is named, then logs
// COUNT lines "TAG NNNNNN " followed by TAG's first character 96 times (so that lines are long
// enough to tear if writes were not whole, and a torn line shows) and shuts the log down.
// Exit codes: 0 done, 2 bad arguments, 3 no start signal in time, 5 a tessel::exception.
#include <cstdlib>
#include <string>

#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "support/tests/test_helpers.h"

namespace {

int run(int argc, char** argv) {
  const int count = argc < 4 ? -1 : std::atoi(argv[2]);
  if (count < 0) return 2;
  tessel::log::attach(new tessel::log::file(argv[1]));
  if (argc > 4 && !tessel::test::event_set_in_time(argv[4])) return 3;
  const std::string filler(96, argv[3][0]);
  for (int i = 0; i < count; ++i) tessel::log::write_linef("%s %06d %s", argv[3], i, filler.c_str());
  tessel::log::shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tessel::test::helper_main(run, argc, argv); }
