// tailpack verify: whether the stub would extract a package and launch its installer.
#pragma once
#include <string>
#include <vector>

#include "package/byte_source.h"
#include "package/chain.h"

namespace tailpack {

struct verification {
  walk_result result;
  // Why the stub would not extract the package or launch its installer, one line each, naming the
  // entry where there is one; empty when it would.
  std::vector<std::string> problems;
  std::vector<std::string> warnings;  // it would, but the walk ended before the stub entry
  std::string launch_file;            // passes: the installer, "executable32" expanded

  bool passes() const { return problems.empty(); }
};

// Walks the chain as the stub does: the chain must be accepted, every file entry met must have a
// stored name that the stub writes inside its working folder (the walk ends at the first that it
// refuses or cannot write, as the stub's extraction does), and "executable32", expanded with the
// package's own settings, must name one of the files written. An allocation failure propagates.
verification verify_package(byte_source& file);

}  // namespace tailpack
