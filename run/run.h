// One run of the stub, from its command line to the installer's exit code, over a run_system:
// the single-instance guard, the working folder, the extraction, the installer's command line and
// language, the launch and wait, the clean-up. Every decision of the run is taken here.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "package/chain.h"
#include "package/settings_map.h"
#include "run/extraction.h"
#include "run/system.h"

namespace tailrun {

// Where a run ended before its package was walked, or through an exception.
enum class run_stop { none, already_running, no_working_folder, package_unopened, exception, cancelled };

// What a run did, for those who explain it (the stub itself needs only the exit code).
struct run_outcome {
  int exit_code = 1;              // the installer's, or 1 when the run failed
  std::string working_folder;     // ends with a backslash; empty when none was made
  walk_result walk;               // the package's walk (no_marker when it was not walked)
  bool launched = false;          // the system was asked to launch the installer
  launch_request launch;          // what it was asked to launch
  bool launch_outside = false;    // the file lies outside the working folder
  std::optional<std::string> msi_log;  // the installer log, when the package asks for one and the run made it
  // The files the run wrote (full paths), each held open by the run, read sharing only, from its
  // commit until the installer has ended, so that what was verified is what the installer meets.
  std::vector<std::string> held;
  // Where the run ended early, if it did; the walk, failed_file and launch_problem tell the rest
  // (why_not_launched puts it in words).
  run_stop stopped = run_stop::none;
  std::string exception_text;     // run_stop::exception: what() of the exception, when it has one
  file_failure failed_file;        // a file entry that could not be written
  std::string executable;          // the expanded "executable32"
  const char* launch_problem = "";  // why it was not launched ("is not one that the package writes")
  std::string launch_detail;       // more of why, or empty
};

// Performs the run. Exceptions of its steps end it through the outer guard ("Unhandled Exception",
// exit code 1) once the working folder has been removed and the single-instance guard released;
// nothing escapes but a failure of the system's own message box in that guard.
// `package_settings`, when given, receives the package's own settings as the walk inserted them.
run_outcome perform_run(run_system& system, const std::string& command_line, settings_map* package_settings = nullptr);

// Why the run launched nothing, one line for people ("not accepted: digest mismatch in record 3
// read (at file offset 1234)", "entry #2: stored name ..."); empty when it launched.
std::string why_not_launched(const run_outcome& outcome);

}  // namespace tailrun
