#include "tools/tailpack/launch_check.h"

#include <algorithm>

#include "driver/launch_plan.h"
#include "package/placeholders.h"
#include "tools/tailpack/explain.h"
#include "tools/tailpack/report.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// The longest working folder assumed: 260 characters, the classic path limit.
const std::string longest_working_folder = example_working_folder("C:\\" + std::string(242, 'T'));
// The quotes around the file and the space before the parameters.
constexpr std::uint64_t file_quoting = 3;

// A file name as Windows compares it: ASCII case folded, and without the trailing dots and spaces
// that it drops when it creates a file.
std::string comparable_name(const std::string& name) {
  std::string folded = fold_ascii_case(name);
  while (!folded.empty() && (folded.back() == '.' || folded.back() == ' ')) folded.pop_back();
  return folded;
}

std::string list_names(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + quoted("%" + names[i] + "%");
  return text;
}

}  // namespace

void package_contents::add(const chain_entry& entry) {
  if (!is_reserved_key(entry.key)) insert_setting(entry, settings_);
  if (entry.kind == entry_kind::file) written_.push_back(comparable_name(entry.value));
}

bool package_contents::writes(const std::string& name) const {
  return !name.empty() && std::find(written_.begin(), written_.end(), comparable_name(name)) != written_.end();
}

std::string launch_problem(const package_contents& contents) {
  const std::string* executable = contents.settings().find("executable32");
  if (executable == nullptr) return "no setting \"executable32\" names the installer to launch";
  const std::string file = expand_placeholders(*executable, contents.settings());
  if (contents.writes(file)) return "";
  std::string problem = "setting \"executable32\" " + quoted(*executable);
  if (file != *executable) problem += " expands to " + quoted(file) + ", which";
  problem += file.empty() ? " names no file" : " names no file that the package carries";
  const std::vector<std::string> missing = unresolved_placeholders(*executable, contents.settings());
  if (!missing.empty()) problem += " (the package sets no " + list_names(missing) + ")";
  return problem;
}

std::string command_line_warning(const package_contents& contents) {
  // The stub's own composition, with an empty command line of its own.
  settings_map settings = contents.settings();
  const std::string v_text = prepare_settings(settings, longest_working_folder, "");
  compose_parameters(settings, longest_working_folder, v_text, nullptr);
  const launch_plan plan = plan_launch(settings, longest_working_folder);
  const std::uint64_t length = file_quoting + plan.file.size() + plan.parameters.size();
  if (length <= longest_command_line) return "";
  return "the installer's command line could reach " + std::to_string(length) + " characters (in a working folder "
         "of " + std::to_string(longest_working_folder.size()) + "), and the stub's own command line adds to it: more "
         "than the " + std::to_string(longest_command_line) + " that Windows passes, so the launch would fail";
}

}  // namespace tailpack
