// Whether the stub can launch a package's installer, judged from what the package carries alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/chain.h"
#include "package/settings_map.h"

namespace tailpack {

// The longest command line that Windows passes to a process, in characters.
constexpr std::uint64_t longest_command_line = 32767;

// What the stub's extraction of a package leaves, fed in the order the stub meets the entries.
class package_contents {
 public:
  // An entry's setting, as the extraction inserts it (keys the stub sets itself are left out), and
  // for a file entry that the stub writes, the file.
  void add(const chain_entry& entry);

  const settings_map& settings() const { return settings_; }
  // True when the stub writes a file of this name (as Windows compares names: ASCII case-blind,
  // trailing dots and spaces dropped).
  bool writes(const std::string& name) const;

 private:
  settings_map settings_;
  std::vector<std::string> written_;  // as Windows compares them
};

// Why the stub launches no installer of this package, one line; empty when "executable32",
// expanded with the package's own settings, names a file that the package writes. Placeholders
// that the package does not resolve are named, not guessed.
std::string launch_problem(const package_contents& contents);

// A warning when the installer's command line could exceed what Windows passes, composed as the
// stub composes it (the quoted file to launch, then the parameters with the "/V" text and the MSI
// log option merged and placeholders expanded) in a working folder of 260 characters and with an
// empty command line of the stub's own. Empty when it fits.
std::string command_line_warning(const package_contents& contents);

}  // namespace tailpack
