// Walking the record chain from the tail marker back to the stub entry.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "base/byte_source.h"
#include "package/record.h"
#include "package/settings_map.h"

namespace tailrun {

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
  std::uint64_t kind_size = 0;  // the kind record's length; kind_text holds at most kind_text_limit bytes of it
  std::string value;      // value entry: the value; file entry: the stored file name
  std::uint64_t data_size = 0;  // file entry: the length of the file's data, which went to the consumer's sink
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
  sink_failed,      // a file's data could not be stored (the consumer's sink refused it)
  too_long,         // a text record longer than longest_text: the chain is rejected
  into_stub,        // a record would start inside the stub's image (as its PE headers give it)
  outside_signature,  // the chain does not end at the certificate table, or bytes follow the table
  consumer,         // the callback asked to stop
};

struct walk_result {
  bool accepted = false;         // the verdict when the walk ended
  walk_stop stop = walk_stop::no_marker;
  std::uint64_t records_read = 0;  // records read, including one whose read failed
  std::uint64_t failed_at = 0;     // digest mismatch: the record's first byte; move/read: its end
  std::int64_t marker_offset = -1;  // where the tail marker text was found; -1 when it was not
  // Where the marker search treated the file as ending: the start of a certificate table that ends
  // the file, else the file size (0 when the size is unknown).
  std::uint64_t search_end = 0;
  // walk_stop::stub: the file offset of the stub entry's key record; its file name and image
  // records end there (the walk never reads them).
  std::uint64_t stub_start = 0;
};

// How much of a kind record is held: more than every text it is compared with.
constexpr std::uint64_t kind_text_limit = 256;

// What the walk hands its entries to.
class chain_consumer {
 public:
  virtual ~chain_consumer() = default;

  // A file entry's kind, key and stored name have been read and verified; its data is read next.
  // Returns the sink for the data, or null to have it verified and dropped. The data takes effect
  // only when `entry` follows for this entry: after a digest mismatch, a failed read or a refusing
  // sink the walk ends without it, and the consumer discards what the sink received.
  virtual payload_sink* file_data(const chain_entry& entry) {
    (void)entry;
    return nullptr;
  }

  // Receives each complete, verified entry in the order the walk meets them (tail first); the
  // entry may be moved from. Returns false to end the walk (walk_stop::consumer; the verdict is
  // kept as it is).
  virtual bool entry(chain_entry& entry) = 0;
};

// Finds the tail marker and walks the chain: a tail marker record in kind position sets the
// verdict true (the first one is not reported as an entry, further ones are); the stub entry is
// reported and ends it. Only a walk that ends at the stub entry keeps its verdict: a digest
// mismatch, a failed move or read, a record reaching before the start of the file or into the
// stub's image (when the file starts with a PE image, no record may start before its section data
// and that record's trailer end), and a text over longest_text set it false and end the walk. Every
// packaging tool writes the stub entry, so only damage ends a walk anywhere else. Each record is
// read once, in blocks of `block_size` bytes; texts go to memory (a huge one's allocation failure
// propagates), file data to the consumer's sink.
walk_result walk_chain(byte_source& file, chain_consumer& consumer, std::size_t block_size = record_block_size);

// The walk with a consumer that verifies file data and drops it (chain_entry::data_size tells its
// length). Returns false from `on_entry` to end the walk.
using entry_callback = std::function<bool(chain_entry&)>;
walk_result walk_chain(byte_source& file, const entry_callback& on_entry);

// Human-readable reason for a walk that did not end at the stub, e.g. "digest mismatch in record 3
// (at file offset 1234)". Empty for walk_stop::stub.
std::string describe_stop(const walk_result& result);

// Empty when the chain is accepted and the walk reached the stub entry; otherwise why not, or, for
// an accepted chain, why the walk ended early ("the walk ended before the stub entry: ...").
std::string describe_verdict(const walk_result& result);

// Whether an entry names a setting: a value entry, or a file entry with a non-empty key.
bool names_a_setting(const chain_entry& entry);

// The entry's setting, inserted if absent: a value entry's key -> value, a file entry's non-empty
// key -> its stored name (not the output path). Other entries add nothing.
void insert_setting(const chain_entry& entry, settings_map& settings);

}  // namespace tailrun
