#include "tools/tailpack/explain.h"

#include <algorithm>

#include "driver/command_line.h"
#include "tools/tailpack/create.h"
#include "tools/tailpack/report.h"
#include "tools/tailpack/text.h"

namespace tailpack {

const char example_temp_folder[] = "C:\\Users\\user\\AppData\\Local\\Temp";
const char example_working_folder_name[] = "QVT1700000000";

namespace {

const char invalid_archive[] = "Invalid Archive!";

// Why the run launches nothing, and the stub's message boxes then; nothing when it launches.
// The walk stops at a file that cannot be written, so that failure comes first.
void decide_refusal(explanation& explained, const std::string& file_failure) {
  if (!file_failure.empty()) {
    explained.refusal = file_failure;
    explained.messages = {"Failed to extract file!", invalid_archive};
  } else if (explained.result.stop == walk_stop::no_marker) {
    explained.refusal = "not accepted: " + verdict_reason(explained.result);
    explained.messages = {"Failed to initialize archive!", invalid_archive};
  } else if (!explained.result.accepted) {
    explained.refusal = "not accepted: " + verdict_reason(explained.result);
    explained.messages = {invalid_archive};
  }
}

// Launches that may not do what the package means: a walk that ended early, and a file to launch
// that the package does not write.
void collect_warnings(explanation& explained, const std::vector<std::string>& written_names) {
  const std::string reason = verdict_reason(explained.result);
  if (!reason.empty()) explained.warnings.push_back(reason);
  const std::string name = explained.plan.file.substr(explained.working_folder.size());
  if (name.empty()) {
    explained.warnings.push_back(
        "setting \"executable32\" is missing or empty: the stub would launch its working folder itself");
  } else if (std::find(written_names.begin(), written_names.end(), fold_ascii_case(name)) == written_names.end()) {
    explained.warnings.push_back("the file to launch, " + quoted(name) +
                                 ", is not one that the package writes into the working folder");
  }
}

void print_line(std::ostream& out, const char* name, const std::string& text, const text_view& view) {
  out << name << ": " << view.plain(text) << '\n';
}

}  // namespace

std::string example_working_folder(const std::string& temp_folder) {
  const bool has_separator = !temp_folder.empty() && temp_folder.back() == '\\';
  return temp_folder + (has_separator ? "" : "\\") + example_working_folder_name + "\\";
}

explanation explain_launch(byte_source& package, const std::string& command_line, const std::string& working_folder) {
  explanation explained;
  explained.command_line = command_line;
  explained.working_folder = working_folder;
  explained.silent = is_silent(command_line);

  settings_map settings;
  const std::string v_text = prepare_settings(settings, working_folder, command_line);
  std::vector<std::string> written_names;  // case-folded, as Windows compares file names
  std::string file_failure;
  std::size_t number = 0;
  explained.result = walk_chain(package, [&](chain_entry& entry) {
    ++number;
    insert_setting(entry, settings);
    if (entry.kind != entry_kind::file) return true;
    const std::string problem = stored_name_failure(entry.value);
    if (!problem.empty()) {
      file_failure = "entry #" + std::to_string(number) + ": stored name " + quoted(entry.value) + " " + problem;
      return false;
    }
    written_names.push_back(fold_ascii_case(entry.value));
    return true;
  });
  compose_parameters(settings, working_folder, v_text, [&explained](const std::string& log) { explained.msi_log = log; });

  decide_refusal(explained, file_failure);
  if (!explained.launches()) return explained;
  explained.plan = plan_launch(settings, working_folder);
  collect_warnings(explained, written_names);
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
  print_line(out, "file", explained.plan.file, view);
  print_line(out, "parameters", explained.plan.parameters, view);
  print_line(out, "directory", explained.plan.directory, view);
  if (explained.msi_log) print_line(out, "msi log", *explained.msi_log, view);
  out << "note: " << example_working_folder_name << " is an example: the stub names its working folder after "
      << "the time of its run\n";
  if (explained.plan.parameters.find("/L") != std::string::npos) {
    out << "note: the parameters hold \"/L\" already, so the stub adds no language option\n";
  } else {
    out << "note: the \"/L\" language option is not applied: the stub takes it from the registry of the machine "
           "where the package runs\n";
  }
}

}  // namespace tailpack
