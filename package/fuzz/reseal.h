// Makes every digest of a package's chain, from the tail marker backwards, match its payload
// again, so that mutated packages are walked past their first record. For the fuzz targets.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "base/byte_source.h"
#include "base/little_endian.h"
#include "package/md5.h"
#include "package/record.h"

namespace tailrun {

inline void reseal(std::uint8_t* data, std::size_t size) {
  memory_source source(std::string(reinterpret_cast<const char*>(data), size));
  if (!find_tail_marker(source)) return;
  std::uint64_t end = source.position();
  for (int records = 0; records < 10000 && end >= 20; ++records) {
    const std::uint64_t length = le32(data + end - 20);
    if (length > end - 20) return;
    const std::uint64_t start = end - 20 - length;
    const std::string digest = md5_digest(data + start, length);
    std::memcpy(data + end - 16, digest.data(), 16);
    end = start;
  }
}

}  // namespace tailrun
