// One tailpack command: its name, help text, options and handler. Each lives in its own file
// (cli_create.cpp, cli_list.cpp, ...); cli.cpp dispatches to them.
#pragma once
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "tools/tailpack/options.h"

namespace tailpack {

struct command {
  const char* name;
  const char* help;
  option_set options;
  // Runs the command on its arguments (after the command word): normal output to `out`, warnings
  // to `err`. Returns the exit status; throws usage_error, failure or another std::exception.
  int (*handler)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// Opens the package at `path` (UTF-8) for reading. Throws failure naming the path and the reason.
std::unique_ptr<byte_source> open_package(const std::string& path);

extern const command create_command;
extern const command list_command;
extern const command verify_command;
extern const command extract_command;
extern const command explain_command;

}  // namespace tailpack
