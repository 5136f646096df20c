#include "tools/tailpack/launch_check.h"

#include <algorithm>

#include "package/placeholders.h"
#include "tools/tailpack/report.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// The longest working folder and installer log path assumed, in characters: the classic path limit.
constexpr std::uint64_t longest_path = 260;
// "/l*v ", the escaped quotes around the log path and a space.
constexpr std::uint64_t msi_log_option_overhead = 10;
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

void package_contents::add_value(const std::string& key, const std::string& value) {
  if (!is_reserved_key(key)) settings_.insert_if_absent(key, value);
}

void package_contents::add_file(const std::string& key, const std::string& stored_name) {
  if (!key.empty()) add_value(key, stored_name);
  written_.push_back(comparable_name(stored_name));
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
  const settings_map& settings = contents.settings();
  const std::string* executable = settings.find("executable32");
  const std::string* parameters = settings.find("parameters");
  const std::string* msilog = settings.find("msilog");
  std::uint64_t length = file_quoting + longest_path;
  if (executable != nullptr) length += expand_placeholders(*executable, settings).size();
  if (parameters != nullptr) length += expand_placeholders(*parameters, settings).size();
  if (msilog != nullptr && *msilog == "ON") length += longest_path + msi_log_option_overhead;
  if (length <= longest_command_line) return "";
  return "the installer's command line could reach " + std::to_string(length) +
         " characters with the stub's own command line still to come, more than the " +
         std::to_string(longest_command_line) + " that Windows passes; the launch would fail";
}

}  // namespace tailpack
