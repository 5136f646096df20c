// The warnings of create: a package that the stub would run, but perhaps not as meant.
#pragma once
#include <string>
#include <vector>

#include "tools/tailpack/create.h"
#include "tools/tailpack/verify.h"

namespace tailpack {

// One line each, for the package of `request` as verify judged its preview (`verified` passes):
// - a key given more than once (the last one given takes effect);
// - a key that the stub sets itself before it reads the package (the package's value has no effect);
// - an "executable32" that names an .msi file: the stub's parameters reach msiexec only through
//   the file association (Wine drops them, Windows appends them after the /V text);
// - an installer command line that could pass what Windows passes to a process.
std::vector<std::string> create_warnings(const create_request& request, const verification& verified);

}  // namespace tailpack
