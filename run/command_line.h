// The installer's command line as string steps: the split of the program's own command line,
// the assembly of setting "parameters", the MSI log option, and the folders derived from the
// working folder. Portable; the one file-system call of the MSI log option (clearing the log's
// attributes) is the caller's, between msi_log_path and apply_msi_log_option.
//
// All texts are the run's text (WTF-8); the package's parts were converted before they get here.
// Settings are read through the map's subscript, so every setting named here is present in the
// map afterwards, possibly empty.
#pragma once
#include <optional>
#include <string>

#include "package/settings_map.h"

namespace tailrun {

// The arguments of a program's full command line (as GetCommandLineW gives it): what follows the
// program name, as the start-up code passes it to WinMain. The name is a quoted text up to the next
// quotation mark, or else everything up to the first space or control character; the spaces and
// control characters after it are skipped.
std::string arguments_of(const std::string& full_command_line);

// True when `command_line` contains "/s" anywhere (case-sensitive, also inside a longer word such
// as "/silent"): the run then shows no message box.
bool is_silent(const std::string& command_line);

// Takes the "/V" option out of `command_line` and returns its text (the "v_text"); sets
// setting "commandline" to the rest. The option is found case-insensitively for a to z ("/v"
// counts): the first "/V\"" takes the quoted form (text up to the next '"', or to the end when
// none follows; the option with both quotation marks is removed), else the first "/V" takes
// the bare form (text up to the next " /", or to the end; removed without that space).
// Never throws: on any failure "commandline" becomes the whole `command_line` and the result
// is empty.
std::string split_command_line(const std::string& command_line, settings_map& settings);

// Merges `v_text` into setting "parameters" (case-sensitive searches): no "/V" there appends
// "/V\"" + v_text + "\""; a "/V\"" gets v_text + " " inserted behind its first occurrence; a
// "/V" without a quotation mark gets "\"" + v_text + "\"" inserted at offset 2. Then puts
// setting "commandline" and one space in front. On any failure "parameters" keeps its value.
void assemble_parameters(settings_map& settings, const std::string& v_text);

// The installer log path, base_folder + "\\QVNEX_msi.log.txt", when setting "msilog" is exactly
// "ON" (case-sensitive); otherwise, and on any failure, no path.
std::optional<std::string> msi_log_path(settings_map& settings, const std::string& base_folder);

// Adds the switch "/l*v \\\"" + log_path + "\\\"" to the "/V" option of setting "parameters",
// with the same three cases as assemble_parameters (the switch opens the "/V" text). On any
// failure "parameters" keeps its value.
void apply_msi_log_option(settings_map& settings, const std::string& log_path);

// The folder that holds `working_folder` (which ends with one backslash), without a trailing
// backslash: everything in front of the last backslash before the trailing one. For
// "C:\\Temp\\QVT1\\" that is "C:\\Temp"; for "C:\\QVT1\\" it is "C:". Empty when there is no
// such backslash.
std::string base_folder_of(const std::string& working_folder);

// A directory path that means `base_folder` itself: a bare drive "X:" (one ASCII letter and a
// colon) would mean the drive's current directory, so it becomes the root "X:\\"; anything
// else is returned unchanged.
std::string launch_directory(const std::string& base_folder);

}  // namespace tailrun
