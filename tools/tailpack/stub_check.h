// The stub image that create puts in front of the chain: where the installed one lies, whether a
// file is a Tailrun stub (by the mark its build leaves), and its signature.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "pe/image.h"

namespace tailpack {

// No stub image is larger: create refuses one that is, and verify does not read one.
constexpr std::size_t largest_stub = 16u << 20;

// A stub image read whole, with its layout and resources.
struct stub_image {
  std::string bytes;
  pe_layout layout;
  std::vector<pe_resource> resources;
};

// Reads `bytes` as a Tailrun stub. Throws failure naming what it found instead: not a Windows
// executable, a program without the stub's mark (resource TAILRUNSTUB 1 holding "Tailrun stub"),
// or resources that cannot be read.
stub_image read_stub_image(std::string bytes);

// Removes the certificate table of a signed stub (and the padding before it), clears data directory
// 4 and recomputes the checksum. Returns false, changing nothing, when the stub is not signed.
// Throws failure when the table is not at the end of the file.
bool strip_signature(stub_image& stub);

// The stub installed beside tailpack: TAILRUN_STUB_FROM_BIN from the folder of tailpack's own
// executable. Throws failure when there is none.
std::string installed_stub_path();

}  // namespace tailpack
