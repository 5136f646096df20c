// tailpack create: lays out a package from a stub image, settings and files.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/writer.h"
#include "tools/tailpack/brand.h"
#include "tools/tailpack/core.h"

namespace tailpack {

// One entry as given on the command line, before its files are read.
struct entry_source {
  enum class type { value, value_file, file };
  type kind = type::value;
  std::string key;
  std::string value;         // value: the value; value_file: its contents, once read_value_files ran
  std::string path;          // value_file: the value's file; file: the file to carry
  std::string name;          // file: the stored name (given, or the base name of `path`)
};

struct create_request {
  std::string stub_path;
  std::string output_path;
  std::string stub_name;         // used when stub_name_given; else the base name of stub_path
  bool stub_name_given = false;
  bool unchecked_names = false;  // store file names that the stub could not write as given
  bool unchecked_launch = false; // write a package whose installer the stub cannot launch
  bool strip_signature = false;  // a signed stub loses its signature instead of being refused
  std::optional<unsigned> code_page;  // the texts' code page (--codepage), when given
  brand_request brand;
  std::string stub_image;        // the stub as written: prepare_stub's result
  std::vector<entry_source> entries;  // in the order given: the first lands nearest the stub
};

// Why the stub would not write a file entry of this stored name under this name (the stub's own
// rule, or Windows dropping a trailing dot or space); empty when it would.
std::string stored_name_problem(const std::string& name);

// Reads every --value-file of `request` whole into its source's value, once (a pipe can be read only
// once), bounded by the stub's text limit. Throws failure naming the source.
void read_value_files(create_request& request);

// Opens the files of `request` and turns its sources into package entries, in order; the files'
// sizes are checked now, their bytes read only when the package is written. Throws failure for a
// file that cannot be opened, a refused stored name or a payload too large for a record.
std::vector<package_entry> load_entries(const create_request& request);

// Reads the stub of `request` once, refuses one that is not a Tailrun stub or (without
// --strip-signature) a signed one, and applies the brand: the image that create writes. Warnings,
// one line each, go to `warnings`. Throws failure.
std::string prepare_stub(const create_request& request, std::vector<std::string>& warnings);

// Refuses, before anything is written, an output that is not a regular file where one exists (a
// device, a FIFO, a folder: never replaced), and one that is one of the request's input files (the
// stub or a file of an entry), judged by file identity so that another name or a link to an input
// is refused too. Throws failure naming both.
void check_output_is_no_input(const create_request& request);

struct create_summary {
  std::uint64_t size = 0;
  std::size_t entries = 0;
};

// Writes the package of `entries` (load_entries of `request`) to a new file beside the output,
// streaming each input in blocks while hashing it, and renames it over the output only when it is
// complete, so a failure leaves any earlier output untouched and no partial file. The same inputs
// give the same bytes. Throws failure.
create_summary create_package(const create_request& request, const std::vector<package_entry>& entries);

// The package that `request` makes, with each carried file cut to its first bytes (enough to tell
// a program image) and each --value-file value to its first 32,768 bytes: what the stub decides
// about a package depends on nothing more. Throws failure when an input cannot be read.
std::string preview_package(const create_request& request);

}  // namespace tailpack
