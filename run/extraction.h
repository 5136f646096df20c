// The extraction of the running package into the working folder, as the run performs it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "package/chain.h"
#include "package/settings_map.h"
#include "run/folder_model.h"
#include "run/reporter.h"
#include "run/system.h"

namespace tailrun {

// A file entry that the run could not write.
struct file_failure {
  std::size_t entry = 0;    // its number in the order met, from 1; 0 when no file entry failed
  std::string stored_name;  // as the run's text
  file_problem problem = file_problem::none;
  const char* name_reason = "";  // file_problem::stored_name: the name rule's reason
};

struct extraction_result {
  bool accepted = false;  // the chain was accepted and every file entry met was written
  walk_result walk;
  bool unopened = false;  // the package could not be opened; else the walk and failed_file tell why
  file_failure failed_file;
  bool cancelled = false;  // the user cancelled the walk in the progress window (run/progress.h)
  // Every file the extraction wrote, held by the run (read sharing only) until these are destroyed:
  // what was verified is what the installer finds. Released before the working folder goes.
  std::vector<std::unique_ptr<staged_output>> held;
};

// Opens the package, walks its chain and, for each entry in the order met: inserts its setting
// if absent (value entries; file entries with a non-empty key -> stored name; key and value
// converted to the run's text), and writes each file entry's data to a staging file that takes
// the stored name only once the data matched its digest, and holds it from then on (`held`). A
// name that `folder` refuses is reported after its data was verified, and ends the walk like a
// file that cannot be written: messages::extract_failed with the output path. Also reports
// messages::open_failed and messages::no_chain with the package path. What was done before a
// failure stays. A text record too large for memory propagates std::bad_alloc.
// A long walk shows its progress (run/progress.h); the window is closed when the walk ends, and a
// cancelled walk reports nothing (its partial file is removed, nothing is accepted).
// `package_settings`, when given, receives the package's own settings as well, as stored bytes.
extraction_result extract_package(run_system& system, reporter& report, folder_model& folder, settings_map& settings,
                                  settings_map* package_settings = nullptr);

}  // namespace tailrun
