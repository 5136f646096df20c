// tailpack explain: what the stub would launch for a package and a command line, computed with
// the stub's own steps (driver/launch_plan.h) on the package's chain.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver/launch_plan.h"
#include "package/byte_source.h"
#include "package/chain.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

// The temporary folder assumed unless another is given: a typical user's.
extern const char example_temp_folder[];

// The working folder's name for an example time of run: the stub names the folder "QVT" + the
// seconds since 1970 when it runs.
extern const char example_working_folder_name[];

// The stub's working folder under `temp_folder`: temp_folder, a backslash unless it ends with
// one, example_working_folder_name and a backslash.
std::string example_working_folder(const std::string& temp_folder);

// How the stub's run would end for one package and command line.
struct explanation {
  std::string command_line;    // as the stub receives it, without the program name
  std::string working_folder;  // ends with a backslash
  walk_result result;
  bool silent = false;         // the command line holds "/s": the stub shows no message box
  // Why the stub launches nothing (the package is not accepted or a file cannot be extracted);
  // empty when it launches.
  std::string refusal;
  std::vector<std::string> messages;  // refused: captions of the stub's message boxes, in order (none shown when silent)
  launch_plan plan;                   // launches: file, parameters (no "/L" option) and directory
  std::optional<std::string> msi_log;  // the installer log path, when the package asks for the log
  std::vector<std::string> warnings;   // launches, but perhaps not as meant; one line each

  bool launches() const { return refusal.empty(); }
};

// Runs the stub's steps: its own settings from `command_line` ("source", and "commandline"
// without the "/V" option), then the package's entries in the order the walk meets them (value
// entries, and file entries' non-empty keys -> stored names, each inserted if absent), stopping
// at the first file the stub could not write; then the "/V" text and MSI log option merged into
// "parameters" and, when the stub would launch, the launch plan. Writes nothing. A huge payload's
// allocation failure propagates.
explanation explain_launch(byte_source& package, const std::string& command_line, const std::string& working_folder);

// One line for a refused run: the reason, the messages the stub shows, and that it exits with 1.
std::string describe_refusal(const explanation& explained);

// The launch, one "name: text" line each: command line, working folder, file, parameters,
// directory, the MSI log when asked for, then notes. Texts follow ": " exactly as they are
// (leading spaces included), decoded as `view` shows texts, with control characters as \xNN.
void print_explanation(const explanation& explained, const text_view& view, std::ostream& out);

}  // namespace tailpack
