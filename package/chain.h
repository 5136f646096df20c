// Walking the record chain from the tail marker back to the stub entry.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "package/byte_source.h"
#include "package/record.h"

enum class entry_kind {
  value,        // value, key, "value"
  file,         // data, file name, key, "file"
  stub,         // (stub image, file name,) key, "stub": the walk ends here
  other,        // key, any other kind text: passed over
  tail_marker,  // a further tail marker record in kind position: keeps the verdict true
};

struct chain_entry {
  entry_kind kind = entry_kind::other;
  std::string kind_text;  // the kind record's payload as stored
  std::string key;        // empty for a tail marker
  std::string value;      // value entry: the value; file entry: the stored file name
  std::string data;       // file entry: the file's bytes
  std::uint64_t start = 0;  // file offset of the entry's first record that was read
  std::uint64_t end = 0;    // file offset just past the entry's kind record
};

// Why the walk ended.
enum class walk_stop {
  no_marker,        // no tail marker text at any candidate offset
  stub,             // the stub entry was reached (a well-formed package)
  digest_mismatch,  // a record's digest did not match: the chain is rejected
  move_failed,      // a move before the start of the file, or outside it
  read_failed,      // a read came up short
  consumer,         // the callback asked to stop
};

struct walk_result {
  bool accepted = false;         // the verdict when the walk ended
  walk_stop stop = walk_stop::no_marker;
  std::uint64_t records_read = 0;  // records read, including one whose read failed
  std::uint64_t failed_at = 0;     // digest mismatch: the record's first byte; move/read: its end
};

// Receives each complete entry in the order the walk meets them (tail first); the entry may be
// moved from. Returns false to end the walk (walk_stop::consumer; the verdict is kept as it is).
using entry_callback = std::function<bool(chain_entry&)>;

// Finds the tail marker and walks the chain: a tail marker record in kind position sets the
// verdict true (the first one is not reported as an entry, further ones are); a digest mismatch
// sets it false and ends the walk; a failed move or read ends it with the verdict kept; the stub
// entry is reported and ends it. Allocation failure for a huge payload propagates.
walk_result walk_chain(byte_source& file, const entry_callback& on_entry);

// Human-readable reason for a walk that did not end at the stub, e.g. "digest mismatch in record 3
// (at file offset 1234)". Empty for walk_stop::stub.
std::string describe_stop(const walk_result& result);
