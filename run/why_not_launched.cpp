// Kept apart from the run: only those who explain a run need its words (the stub links none).
#include "run/run.h"

std::string why_not_launched(const run_outcome& outcome) {
  if (outcome.launched) return "";
  if (!outcome.refusal.empty()) return outcome.refusal;
  if (outcome.failed_file.entry != 0)
    return "entry #" + std::to_string(outcome.failed_file.entry) + ": stored name \"" +
           outcome.failed_file.stored_name + "\" " + outcome.failed_file.reason;
  if (*outcome.launch_problem != '\0') {
    std::string text = "the file to launch, \"" + outcome.executable + "\", " + outcome.launch_problem;
    return outcome.launch_detail.empty() ? text : text + ": it " + outcome.launch_detail;
  }
  return "not accepted: " + describe_verdict(outcome.walk);
}
