// MD5 message digest (RFC 1321).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tailrun {

class md5_context {
 public:
  md5_context();

  // Feeds `count` bytes. Any count, any number of calls; ignored once finalised.
  void update(const void* bytes, std::size_t count);

  // Pads the message (0x80, zeros to 56 mod 64, the 64-bit bit count, least significant byte
  // first) and processes the last block or blocks. A second call changes nothing.
  void finalize();

  // Finalises if needed; returns the 16 digest bytes (A, B, C, D, each least significant byte
  // first). Zero bytes are digest bytes like any other.
  std::string digest();

 private:
  void process_blocks(const unsigned char* blocks, std::size_t count);

  std::uint32_t state_[4];
  std::uint64_t bit_count_ = 0;
  unsigned char pending_[64];
  std::size_t pending_size_ = 0;
  bool finalized_ = false;
};

// The digest of `count` bytes in one shot.
std::string md5_digest(const void* bytes, std::size_t count);

}  // namespace tailrun
