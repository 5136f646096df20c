// What code signing will make of a package: whether it is signed, where its chain ends against the
// certificate table, and which of its files are code without a signature of their own (Windows'
// Smart App Control blocks those even inside a signed package).
#pragma once
#include <cstdint>
#include <string>

#include "base/byte_source.h"
#include "package/chain.h"
#include "tools/tailpack/core.h"

namespace tailpack {

// A file's data as it streams by: whether it is a program image (PE) or an MSI, and whether it
// carries its own signature (a PE's certificate table; an MSI's "\x05DigitalSignature" stream).
class unsigned_code_probe {
 public:
  void take(const char* bytes, std::size_t count);
  // "a program" or "an MSI" without a signature of its own; empty for anything else.
  std::string unsigned_kind() const;

 private:
  std::string head_;  // the first bytes, where a PE's headers and an MSI's magic stand
  std::string tail_;  // the last bytes seen, so that a stream name across two blocks is found
  bool msi_signature_ = false;
};

struct signing_facts {
  bool is_signed = false;
  std::uint64_t table = 0, table_size = 0;  // the certificate table, when signed
  std::uint64_t chain_end = 0;              // just past the tail marker record
};

// The facts of `file`, whose walk gave `walk` (its tail marker found).
signing_facts signing_of(byte_source& file, const walk_result& walk);

// The packages that Authenticode can sign end before 4 GiB: its offsets are 32 bits.
constexpr std::uint64_t largest_signable = std::uint64_t{1} << 32;

}  // namespace tailpack
