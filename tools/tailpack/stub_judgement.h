// Whether the image in front of a package's chain is the Tailrun stub that was packed there. The
// stub never reads its own image record (signing changes the image after the chain was written);
// verify does.
#pragma once
#include <cstdint>
#include <string>

#include "base/byte_source.h"

namespace tailpack {

struct stub_judgement {
  std::string problem;   // why the image is no intact Tailrun stub; empty when it is
  bool changed = false;  // its bytes differ from its record's digest beyond what signing changes
};

// Reads the stub entry's file name and image records backward from `stub_start` (the stub entry's
// key record, walk_result::stub_start) and judges the image: the stub's mark, its headers and
// sections within the image record, and its bytes against the record's digest, where the checksum
// field and the security directory may differ as code signing leaves them (the packed image had
// no security directory; its checksum was the image's own or 0). `changed` is set, with the
// problem, when only the digest disagrees.
stub_judgement judge_stub_image(byte_source& file, std::uint64_t stub_start);

}  // namespace tailpack
