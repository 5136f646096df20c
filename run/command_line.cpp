#include "run/command_line.h"

#include <utility>

#include "base/ascii.h"
#include "run/product.h"

namespace tailrun {

namespace {

const char option_marker[] = "/V";
// The marker of the quoted form: "/V" directly followed by a quotation mark.
const char opening_marker[] = "/V\"";
constexpr std::size_t opening_marker_size = 3;
// The offset behind a "/V" that opens the parameters.
constexpr std::size_t bare_option_end = 2;

// Inserts `insert` into the "/V" option of `parameters`, or appends a new option holding
// `quoted` when there is none. The three cases of the parameter assembly and the MSI log option:
// no "/V" appends "/V\"" + quoted + "\""; a "/V\"" gets `behind_marker` inserted directly behind
// its first occurrence; a "/V" without quotation mark gets "\"" + quoted + "\"" at offset 2.
std::string merge_into_v_option(std::string parameters, const std::string& quoted,
                                const std::string& behind_marker) {
  if (parameters.find(option_marker) == std::string::npos) {
    return parameters + opening_marker + quoted + '"';
  }
  const std::size_t marker = parameters.find(opening_marker);
  if (marker != std::string::npos) {
    return parameters.insert(marker + opening_marker_size, behind_marker);
  }
  return parameters.insert(bare_option_end, '"' + quoted + '"');
}

// The split proper; `line` is shortened in place and the option's text returned.
std::string take_v_option(std::string& line) {
  const std::string upper = ascii_upper(line);
  const std::size_t option = upper.find(option_marker);
  if (option == std::string::npos) return {};

  const std::size_t quoted = upper.find(opening_marker);
  if (quoted != std::string::npos) {
    const std::size_t text = quoted + opening_marker_size;
    const std::size_t closing = upper.find('"', text);
    if (closing == std::string::npos) {
      std::string v_text = line.substr(text);
      line.erase(quoted);
      return v_text;
    }
    std::string v_text = line.substr(text, closing - text);
    line.erase(quoted, closing - quoted + 1);
    return v_text;
  }

  // Bare form: the text runs to the next option; the space in front of it stays in the line.
  std::size_t end = upper.find(" /", option);
  if (end == std::string::npos) end = line.size();
  const std::size_t text = option + bare_option_end;
  std::string v_text = line.substr(text, end - text);
  line.erase(option, end - option);
  return v_text;
}

}  // namespace

std::string arguments_of(const std::string& full_command_line) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t at = 0;
  const std::size_t size = full_command_line.size();
  if (size > 0 && full_command_line[0] == '"') {
    at = full_command_line.find('"', 1);
    at = at == std::string::npos ? size : at + 1;
  } else {
    while (at < size && !blank(full_command_line[at])) ++at;
  }
  while (at < size && blank(full_command_line[at])) ++at;
  return full_command_line.substr(at);
}

bool is_silent(const std::string& command_line) { return command_line.find("/s") != std::string::npos; }

std::string split_command_line(const std::string& command_line, settings_map& settings) {
  try {
    std::string& slot = settings[setting_key::command_line];
    std::string line = command_line;
    std::string v_text = take_v_option(line);
    slot = std::move(line);
    return v_text;
  } catch (...) {
  }
  // Fallback: the whole command line, no "/V" text. Should even this copy fail, the setting
  // keeps what it held.
  try {
    settings[setting_key::command_line] = command_line;
  } catch (...) {
  }
  return {};
}

void assemble_parameters(settings_map& settings, const std::string& v_text) {
  try {
    std::string& slot = settings[setting_key::parameters];
    std::string merged = merge_into_v_option(slot, v_text, v_text + ' ');
    std::string assembled = settings[setting_key::command_line] + ' ' + merged;
    slot = std::move(assembled);
  } catch (...) {
    // "parameters" keeps its value: it is assigned only once the new text is complete.
  }
}

std::optional<std::string> msi_log_path(settings_map& settings, const std::string& base_folder) {
  try {
    if (settings[setting_key::msi_log] != "ON") return std::nullopt;
    return base_folder + "\\" TAILRUN_MSI_LOG_NAME;
  } catch (...) {
    return std::nullopt;
  }
}

void apply_msi_log_option(settings_map& settings, const std::string& log_path) {
  try {
    // The path in escaped quotation marks, as it must stand inside the quoted "/V" text.
    const std::string log_switch = "/l*v \\\"" + log_path + "\\\"";
    std::string& slot = settings[setting_key::parameters];
    std::string merged = merge_into_v_option(slot, log_switch, log_switch + ' ');
    slot = std::move(merged);
  } catch (...) {
    // "parameters" keeps its value: it is assigned only once the new text is complete.
  }
}

std::string base_folder_of(const std::string& working_folder) {
  if (working_folder.size() < 2) return {};
  const std::size_t cut = working_folder.rfind('\\', working_folder.size() - 2);
  if (cut == std::string::npos) return {};
  return working_folder.substr(0, cut);
}

std::string launch_directory(const std::string& base_folder) {
  const bool bare_drive = base_folder.size() == 2 && base_folder[1] == ':' &&
                          ((base_folder[0] >= 'A' && base_folder[0] <= 'Z') ||
                           (base_folder[0] >= 'a' && base_folder[0] <= 'z'));
  return bare_drive ? base_folder + '\\' : base_folder;
}

}  // namespace tailrun
