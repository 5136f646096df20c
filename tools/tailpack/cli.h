// tailpack's command line: dispatch to the commands, help and version.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "tools/tailpack/create.h"
#include "tools/tailpack/options.h"

namespace tailpack {

// Parses the arguments of `create` (after the command word): entries keep their order, texts are
// converted to the code page of --codepage or refused when they are not ASCII without it, and
// --escaped texts are unescaped. Throws usage_error.
create_request parse_create(const std::vector<std::string>& args);

// Runs `tailpack` with `args` (without the program name; texts in UTF-8): normal output to `out`,
// errors and warnings to `err`, one line each. Returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tailpack
