// tailpack extract: writes a package's files into a folder and collects its settings, as the stub's
// run core extracts them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "package/chain.h"
#include "package/settings_map.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

struct written_file {
  std::string path;
  std::uint64_t size = 0;
};

struct extract_summary {
  std::vector<written_file> files;  // in the order written
  settings_map settings;            // the package's settings, insert-if-absent in the order met
  walk_result result;
};

// Performs the stub's run on a simulated machine whose working folder is `folder`: each file the
// run writes goes into `folder` (created with its missing parents) under its stored name, decoded
// when `view` has a code page, replacing a file of the same name. File data is streamed into new
// temporary files in the folder, which get their names only when the walk has ended. Throws
// failure, with nothing written, when the run refuses a file entry (its stored name, or a path the
// stub could not write), when a decoded name could leave the folder or name a device, when a link
// stands where a file goes, or when a file cannot be written.
extract_summary extract_to_folder(byte_source& file, const std::string& package_path, const std::string& folder,
                                  const text_view& view);

}  // namespace tailpack
