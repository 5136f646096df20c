// One record of the chain: payload, 4-byte little-endian length, 16-byte MD5 of the payload.
// Records are read backwards from the tail marker, the chain's last record, each payload streamed
// from its start in fixed-size blocks through MD5 into a sink.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_source.h"

namespace tailrun {

// The texts of the kind records that name an entry's kind.
inline constexpr char value_kind_text[] = "value";
inline constexpr char file_kind_text[] = "file";
inline constexpr char stub_kind_text[] = "stub";

// The tail marker's payload; its record is 42 bytes (22 + 4 + 16).
const std::string& tail_marker_text();
constexpr std::uint64_t record_overhead = 20;  // length and digest
constexpr std::uint64_t tail_marker_record_size = 42;

// The longest payload a record can describe: the limit of its 32-bit length field.
constexpr std::uint64_t largest_payload = 0xFFFFFFFFu;

// The longest key, value, kind or file-name text a record may carry: a longer one is a bad record,
// never held (a corrupted length field must not make the reader reserve gigabytes).
constexpr std::uint64_t longest_text = std::uint64_t{1} << 20;

// The block in which payloads are read, hashed and handed on: large enough that a read costs little
// next to its bytes, small enough that memory stays flat.
constexpr std::size_t record_block_size = std::size_t{1} << 20;

// The certificate table that the package's security directory names, if any. Only the bytes
// before it are signed, so a signed package's chain must end where the table starts (0 to 7 zero
// bytes of padding between), and nothing may follow the table.
struct signed_region {
  std::uint64_t table = 0;       // the table's start; 0 when the package names none
  std::uint64_t table_size = 0;
  bool refused = false;          // a table that ends before or past the end of the file
};
signed_region find_signed_region(byte_source& file, std::uint64_t size);

// What locate_tail_marker returns when the package names a certificate table but its chain does
// not end where that table starts, or bytes follow the table: the package is refused.
constexpr std::int64_t chain_outside_signature = -2;

// Searches backwards for the marker text. Candidate starts run from end - 23 down to 23 (the 22
// bytes ending at the last byte are never examined); the highest match wins. In a signed package
// the match must be the one whose record ends at the table (after 0 to 7 zero bytes), else
// chain_outside_signature. Returns the match's offset, or -1 when there is none. Reads in large
// blocks: one pass at most. `search_end`, when given, receives where the search treated the file as
// ending: the start of a certificate table that ends the file, else the file size (0 when the size
// is unknown).
std::int64_t locate_tail_marker(byte_source& file, std::uint64_t* search_end = nullptr);

// locate_tail_marker, then moves to the end of the tail marker record (match + 42). False when
// there is no match, or when that record would run past the end of the file.
bool find_tail_marker(byte_source& file);

// Takes a record's payload block by block, in file order, as it is read.
class payload_sink {
 public:
  virtual ~payload_sink() = default;
  // Called once, before the first block, with the payload's length. False refuses the record:
  // record_status::too_long.
  virtual bool begin(std::uint64_t length) {
    (void)length;
    return true;
  }
  // The next `count` bytes (never 0). False stops the read: record_status::sink_failed. The bytes
  // stay valid and unchanged until the call after the next take, or end(): a sink may still be
  // writing one block while the reader reads and hashes the next.
  virtual bool take(const char* bytes, std::size_t count) = 0;
  // Called once after begin() succeeded, when the read of the payload stops for whatever reason
  // (also while an exception leaves the read): the sink completes what it took and keeps no
  // reference to the bytes; never throws. False (only looked at after the last block) is
  // record_status::sink_failed.
  virtual bool end() { return true; }
};

// Holds a text record in memory: the first `limit` bytes of it, and its length. A text longer than
// every text it is compared with need not be held whole; one longer than longest_text is refused.
class text_sink final : public payload_sink {
 public:
  explicit text_sink(std::string& text, std::uint64_t limit = longest_text) : text_(text), limit_(limit) {}
  bool begin(std::uint64_t length) override;
  bool take(const char* bytes, std::size_t count) override;
  std::uint64_t length() const { return length_; }
  bool whole() const { return length_ == text_.size(); }

 private:
  std::string& text_;
  std::uint64_t limit_;
  std::uint64_t length_ = 0;
};

// Hashes a payload and keeps nothing of it.
class discard_sink final : public payload_sink {
 public:
  bool take(const char*, std::size_t) override { return true; }
};

// The outcome of reading one record backward.
enum class record_status { ok, digest_mismatch, move_failed, read_failed, sink_failed, too_long, into_stub };

// A record's trailer: its payload length and stored digest.
struct record_trailer {
  std::uint32_t length = 0;
  std::string digest;  // 16 bytes
};

// Reads the 20 trailer bytes at the position (length, then digest) and steps back over them again.
// False when the read or the move fails.
bool read_trailer_at(byte_source& file, record_trailer& trailer);

// From a position E at the end of a record: reads its trailer (the 20 bytes before E) and leaves the
// position at E - 20. False when E < 20 or the read fails.
bool read_trailer(byte_source& file, record_trailer& trailer);

// Reads records backward through one block buffer, reused from record to record.
class record_reader {
 public:
  // `block_size` (at least 1): the largest read and the largest block given to a sink.
  explicit record_reader(byte_source& file, std::size_t block_size = record_block_size);

  // From a position at the end of a record: streams its payload from its first byte into `sink`, in
  // blocks, through MD5, then compares the digest. On ok the position is the record's first payload
  // byte. Positions are computed in 64-bit arithmetic and checked against the source before any
  // move, so a length that reaches before the start of the file is a failed move. On
  // digest_mismatch, sink_failed or read_failed the sink may hold part or all of the payload.
  record_status read(payload_sink& sink);

  // No record may start before `floor` (the end of the stub's image and its record trailer): one
  // that would is record_status::into_stub, and nothing of it is read.
  void set_floor(std::uint64_t floor) { floor_ = floor; }

  // The first payload byte of the record last read (valid after ok and digest_mismatch).
  std::uint64_t last_start() const { return last_start_; }

  byte_source& file() { return file_; }

 private:
  byte_source& file_;
  std::size_t block_size_;
  std::vector<char> block_[2];  // alternately read into: the sink may still hold the other (take)
  std::uint64_t last_start_ = 0;
  std::uint64_t floor_ = 0;
};

// One record into `payload` (held whole), through a reader of its own.
record_status read_record(byte_source& file, std::string& payload);

}  // namespace tailrun
