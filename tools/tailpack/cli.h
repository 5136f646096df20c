// tailpack's command line: parsing, help and the commands' output.
#pragma once
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/tailpack/create.h"

namespace tailpack {

// Exit status: success; the operation failed or the package is not accepted; the command line is wrong.
constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// A command line that tailpack does not understand; the message is one line.
class usage_error : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Parses the arguments of `create` (after the command word). Entries keep their order. Throws
// usage_error.
create_request parse_create(const std::vector<std::string>& args);

// Runs `tailpack` with `args` (without the program name): normal output to `out`, errors and
// warnings to `err`, one line each. Returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tailpack
