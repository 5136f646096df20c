// Kept apart from the run: only those who explain a run need its words (the stub links none).
#include "run/run.h"

namespace {

const char* file_problem_text(const file_failure& failure) {
  switch (failure.problem) {
    case file_problem::none:
    case file_problem::stored_name:
      break;
    case file_problem::marker_name:
      return "is the name of the file that marks the working folder as the run's own";
    case file_problem::path_too_long:
      return "is longer than 255 characters, or makes a path longer than the system takes";
    case file_problem::not_created:
      return "cannot be created in the working folder";
    case file_problem::not_named:
      return "cannot be given its name in the working folder";
    case file_problem::not_written:
      return "cannot be written in full in the working folder";
  }
  return failure.name_reason;
}

}  // namespace

std::string why_not_launched(const run_outcome& outcome) {
  switch (outcome.stopped) {
    case run_stop::none:
      break;
    case run_stop::already_running:
      return "another run holds the single-instance guard";
    case run_stop::no_working_folder:
      return "no working folder could be created and entered";
    case run_stop::package_unopened:
      return "the package cannot be opened";
    case run_stop::cancelled:
      return "the user cancelled it while the package was read";
    case run_stop::exception:
      return "the run ended with an exception" + (outcome.exception_text.empty() ? "" : ": " + outcome.exception_text);
  }
  if (outcome.launched) return "";
  if (outcome.failed_file.entry != 0)
    return "entry #" + std::to_string(outcome.failed_file.entry) + ": stored name \"" +
           outcome.failed_file.stored_name + "\" " + file_problem_text(outcome.failed_file);
  if (*outcome.launch_problem != '\0') {
    std::string text = "the file to launch, \"" + outcome.executable + "\", " + outcome.launch_problem;
    return outcome.launch_detail.empty() ? text : text + ": it " + outcome.launch_detail;
  }
  return "not accepted: " + describe_verdict(outcome.walk);
}
