#include "tools/tailpack/explain.h"

#include "run/command_line.h"
#include "run/language.h"
#include "run/run.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/simulated_system.h"

namespace tailpack {

namespace {

void print_line(std::ostream& out, const char* name, const std::string& text, const text_view& view) {
  out << name << ": " << view.plain(text) << '\n';
}

}  // namespace

explanation explain_launch(byte_source& package, const std::string& package_path, const std::string& command_line,
                           const std::string& temp_folder, std::optional<unsigned> code_page) {
  simulated_system machine(package, package_path, temp_folder, nullptr, code_page);
  const run_outcome outcome = perform_run(machine, command_line);
  explanation explained;
  explained.command_line = command_line;
  explained.working_folder = outcome.working_folder;
  explained.result = outcome.walk;
  explained.silent = is_silent(command_line);
  explained.msi_log = outcome.msi_log;
  explained.held = outcome.held;
  for (const simulated_system::message& message : machine.messages()) explained.messages.push_back(message.caption);
  if (!outcome.launched) {
    explained.refusal = why_not_launched(outcome);
    return explained;
  }
  explained.plan = launch_plan{outcome.launch.file, outcome.launch.parameters, outcome.launch.directory};
  const std::string reason = describe_verdict(outcome.walk);
  if (!reason.empty()) explained.warnings.push_back(reason);
  if (outcome.launch_outside)
    explained.warnings.push_back("the file to launch lies outside the working folder: nothing in the package vouches for it");
  return explained;
}

std::string describe_refusal(const explanation& explained) {
  std::string text = explained.refusal + "; the stub would ";
  if (explained.silent) {
    text += "show no message (the command line holds \"/s\")";
  } else {
    text += "show ";
    for (std::size_t i = 0; i < explained.messages.size(); ++i)
      text += (i == 0 ? "\"" : " and \"") + explained.messages[i] + "\"";
  }
  return text + ", launch nothing and exit with 1";
}

void print_explanation(const explanation& explained, const text_view& view, std::ostream& out) {
  print_line(out, "command line", explained.command_line, view);
  print_line(out, "working folder", explained.working_folder, view);
  if (!explained.launches()) {
    out << "refusal: " << view.plain(describe_refusal(explained)) << '\n';
    return;
  }
  print_line(out, "file", explained.plan.file, view);
  print_line(out, "parameters", explained.plan.parameters, view);
  print_line(out, "directory", explained.plan.directory, view);
  if (explained.msi_log) print_line(out, "msi log", *explained.msi_log, view);
  for (const std::string& file : explained.held) print_line(out, "held until the installer ends", file, view);
  out << "note: the working folder's number is an example: the stub takes it from the time of its run\n";
  if (has_language_option(explained.plan.parameters)) {
    out << "note: the parameters hold \"/L\" already, so the stub adds no language option\n";
  } else {
    out << "note: the \"/L\" language option is not applied: the stub takes it from the registry of the machine "
           "where the package runs\n";
  }
}

}  // namespace tailpack
