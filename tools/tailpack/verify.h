// tailpack verify: whether the stub would extract a package and launch its installer, decided by
// the stub's own run core on a simulated machine.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "run/run.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/signing.h"

namespace tailpack {

struct verification {
  run_outcome outcome;  // the stub's run, with an empty command line
  // Why the stub would not run the package, one line each; empty when it would.
  std::vector<std::string> problems;
  std::vector<std::string> warnings;  // it would, but perhaps not as packed (a stub image changed, allowed)
  std::string launch_file;            // passes: the file launched, as Windows resolves it
  signing_facts signing;              // signed or not, and where the chain ends against the table

  bool passes() const { return problems.empty(); }
};

// Passes exactly when the package starts with an intact Tailrun stub (judge_stub_image; with
// `allow_changed_stub` an image changed after packing is a warning) and the stub's run launches a
// file in its working folder under `temp_folder`. Warns for each file the package carries that is a
// program or an MSI without a signature of its own. A launch outside the working folder
// is a problem: nothing in the package vouches for that file. An allocation failure propagates.
// `code_page`: the ANSI code page of the machines that run it, when known; the run's texts
// (launch_file, problems, warnings) are then UTF-8.
verification verify_package(byte_source& file, const std::string& package_path, const std::string& temp_folder,
                            std::optional<unsigned> code_page = std::nullopt, bool allow_changed_stub = false);

}  // namespace tailpack
