// tailpack explain: what the stub would launch for a package and a command line, decided by the
// stub's own run core on a simulated machine.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "package/chain.h"
#include "run/launch_plan.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

// How the stub's run would end for one package and command line.
struct explanation {
  std::string command_line;    // as the stub receives it, without the program name
  std::string working_folder;  // ends with a backslash
  walk_result result;
  bool silent = false;         // the command line holds "/s": the stub shows no message box
  // Why the stub launches nothing; empty when it launches.
  std::string refusal;
  std::vector<std::string> messages;  // the captions of the stub's message boxes, in order (none when silent)
  launch_plan plan;                   // launches: file (as Windows resolves it), parameters (no "/L"), directory
  std::optional<std::string> msi_log;  // the installer log path, when the package asks for the log
  std::vector<std::string> held;       // the files the stub holds (read sharing only) until the installer ends
  std::vector<std::string> warnings;   // launches, but perhaps not as meant; one line each

  bool launches() const { return refusal.empty(); }
};

// Performs the stub's run on a simulated machine whose temporary folder is `temp_folder`, at the
// example time of run_time (working folder QVT1700000000), with no earlier installation (no "/L").
// Writes nothing. A huge payload's allocation failure propagates.
// `code_page`: the machine's ANSI code page, when known: the run's texts are then UTF-8.
explanation explain_launch(byte_source& package, const std::string& package_path, const std::string& command_line,
                           const std::string& temp_folder, std::optional<unsigned> code_page = std::nullopt);

// One line for a refused run: the reason, the messages the stub shows, and that it exits with 1.
std::string describe_refusal(const explanation& explained);

// The launch, one "name: text" line each: command line, working folder, file, parameters,
// directory, the MSI log when asked for, then notes; for a refused run, command line, working
// folder and "refusal: " with describe_refusal. Texts follow ": " exactly as they are
// (leading spaces included), decoded as `view` shows texts, with control characters as \xNN.
void print_explanation(const explanation& explained, const text_view& view, std::ostream& out);

}  // namespace tailpack
