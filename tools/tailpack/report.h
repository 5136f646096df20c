// tailpack list and verify: what the stub meets in a package, and whether it accepts it.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "package/chain.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

// One entry as the walk met it, with its effect on the stub's settings and working folder.
struct listed_entry {
  entry_kind kind = entry_kind::other;
  std::string kind_text;         // at most kind_text_limit bytes of the kind record
  std::uint64_t kind_size = 0;   // the kind record's length
  std::string key;
  std::string value;             // value entry: the value; file entry: the stored file name
  std::uint64_t data_size = 0;   // file entry: bytes of the file
  std::uint64_t start = 0;       // file offset of the entry's first record that was read
  std::uint64_t end = 0;         // file offset just past its kind record
  std::size_t shadowed_by = 0;   // number of the earlier-met entry whose equal key takes effect; 0: none
  bool sets_a_key = false;       // a value entry, or a file entry with a non-empty key
  bool reserved_key = false;     // a key the stub sets itself before it reads the package
  std::size_t replaced_by = 0;   // file entry: number of the next-met entry that writes the same file
};

// The stub entry's file name and image size, read for display only: the stub reads neither.
struct stub_details {
  bool name_read = false;       // the file-name record was read and its digest matches
  std::string name;
  bool image_size_known = false;  // the image record's length places it at offset 0
  std::uint64_t image_size = 0;
};

struct package_report {
  std::uint64_t size = 0;
  std::uint64_t search_end = 0;  // where the marker search treats the file as ending
  bool chain_found = false;
  std::uint64_t chain_end = 0;   // just past the tail marker record that the search found
  std::vector<listed_entry> entries;  // numbered from 1, tail first
  walk_result result;
  stub_details stub;
};

// Walks the chain as the stub does, keeping no file data. Throws failure when the size of the
// source cannot be obtained.
package_report read_package_report(byte_source& file);

// "accepted", "accepted (the walk ended before the stub entry: ...)" or "not accepted: ...".
std::string verdict_text(const walk_result& result);

// The listing: the file and where its chain ends, the entries tail first with their effects, the
// verdict. Texts are quoted as `view` shows them.
void print_listing(const std::string& path, const package_report& report, const text_view& view, std::ostream& out);

}  // namespace tailpack
