#include "tools/tailpack/create_warnings.h"

#include <algorithm>
#include <map>

#include "base/ascii.h"
#include "base/wtf8.h"
#include "run/command_line.h"
#include "run/folder_model.h"
#include "run/launch_plan.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// The longest command line that Windows passes to a process, in characters.
constexpr std::uint64_t longest_command_line = 32767;

// A warning when the installer's command line could pass what Windows passes: the quoted file and
// its parameters as the preview's run composed them, with every mention of the temporary folder
// grown to a working folder of the longest path. Empty when it fits.
std::string command_line_warning(const run_outcome& outcome) {
  const launch_request& launch = outcome.launch;
  const std::string temp = base_folder_of(outcome.working_folder);
  const std::string text = launch.file + launch.parameters;
  std::uint64_t mentions = 0;
  for (std::size_t at = text.find(temp); !temp.empty() && at != std::string::npos; at = text.find(temp, at + 1))
    ++mentions;
  const std::uint64_t growth =
      longest_launch_path - std::min<std::uint64_t>(longest_launch_path, utf16_length(outcome.working_folder));
  const std::uint64_t length = 3 + utf16_length(text) + mentions * growth;  // the quotes and the space
  if (length <= longest_command_line) return "";
  return "the installer's command line could reach " + std::to_string(length) +
         " characters in a long temporary folder, and the stub's own command line adds to it: more than the " +
         std::to_string(longest_command_line) + " that Windows passes, so the launch would fail";
}

bool ends_with_msi(const std::string& file) {
  return file.size() >= 4 && ascii_lower(file.substr(file.size() - 4)) == ".msi";
}

}  // namespace

std::vector<std::string> create_warnings(const create_request& request, const verification& verified) {
  std::vector<std::string> warnings;
  std::map<std::string, std::size_t> given;
  for (const entry_source& source : request.entries)
    if (source.kind != entry_source::type::file || !source.key.empty()) ++given[source.key];
  for (const auto& [key, count] : given) {
    if (is_run_setting(key))
      warnings.push_back("key " + quoted(key) + " is one the stub sets itself before it reads the package: the "
                         "package's value has no effect");
    else if (count > 1)
      warnings.push_back("key " + quoted(key) + " is given " + std::to_string(count) +
                         " times: the last one given takes effect");
  }
  if (ends_with_msi(verified.launch_file))
    warnings.push_back("\"executable32\" names an .msi file: the stub's parameters reach msiexec only through the "
                       "file association (Wine drops them, Windows appends them after the /V text); launch msiexec "
                       "or a setup program instead");
  const std::string command_line = command_line_warning(verified.outcome);
  if (!command_line.empty()) warnings.push_back(command_line);
  return warnings;
}

}  // namespace tailpack
