#include "driver/run.h"

#include <memory>

#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "driver/win32_system.h"
#include "run/product.h"
#include "run/run.h"
#include "support/wide_path.h"

namespace tailrun {

namespace {

// Attaches the log file in the temporary folder (relative to the current folder when there is
// none). Every failure is dropped and the run goes on without a log.
void set_up_log() {
  try {
    auto log_file = std::make_unique<tessel::log::file>(tessel::wide(system_temporary_folder() + TAILRUN_LOG_BASE_NAME));
    tessel::log::attach(log_file.get());
    log_file.release();  // owned by the front end from here on
  } catch (...) {
  }
}

}  // namespace

int run(HINSTANCE instance, const std::string& command_line) {
  set_up_log();
  int exit_code = 1;
  {
    win32_system system(instance);
    exit_code = perform_run(system, command_line).exit_code;
  }
  tessel::log::shutdown();
  return exit_code;
}

}  // namespace tailrun
