// tailpack extract: writes a package's files into a folder and collects its settings, as the stub does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/byte_source.h"
#include "package/chain.h"
#include "package/settings_map.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

struct written_file {
  std::size_t entry = 0;  // the entry's number in the order met, from 1
  std::string path;
  std::uint64_t size = 0;
};

struct extract_summary {
  std::vector<written_file> files;  // in the order written
  settings_map settings;            // insert-if-absent, in the order met
  walk_result result;
};

// Walks the chain of `file` as the stub does, reading each record once, and for the entries met
// before the walk ended, in that order: inserts value entries and the non-empty keys of file
// entries (key -> stored name) if absent, and writes each file into `folder` (created with its
// missing parents) under its stored name, decoded when `view` has a code page, replacing a file of
// the same name. File data is streamed into new temporary files in the folder, which get their
// names when the walk has ended; data that did not verify or could not be written is removed.
// Refuses (throws failure) a stored name that could leave the folder or name a device, and a link
// that stands where a file goes or on the way to it; nothing is written then. A file that cannot
// be written throws failure, with nothing renamed.
extract_summary extract_to_folder(byte_source& file, const std::string& folder, const text_view& view);

}  // namespace tailpack
