#include "package/chain.h"

namespace {

class walker {
 public:
  walker(byte_source& file, walk_result& result) : file_(file), result_(result) {}

  // Reads the next record backward; on failure records why and returns false.
  bool next(std::string& payload) {
    const std::uint64_t end = file_.position();
    ++result_.records_read;
    switch (read_record(file_, payload)) {
      case record_status::ok:
        return true;
      case record_status::digest_mismatch:
        result_.accepted = false;
        result_.stop = walk_stop::digest_mismatch;
        result_.failed_at = end - record_overhead - payload.size();
        return false;
      case record_status::move_failed:
        result_.stop = walk_stop::move_failed;
        break;
      case record_status::read_failed:
        result_.stop = walk_stop::read_failed;
        break;
    }
    result_.failed_at = end;
    return false;
  }

  std::uint64_t position() const { return file_.position(); }

 private:
  byte_source& file_;
  walk_result& result_;
};

entry_kind kind_of(const std::string& text) {
  if (text == "value") return entry_kind::value;
  if (text == "file") return entry_kind::file;
  if (text == "stub") return entry_kind::stub;
  return entry_kind::other;
}

}  // namespace

walk_result walk_chain(byte_source& file, const entry_callback& on_entry) {
  walk_result result;
  const std::int64_t marker = locate_tail_marker(file);
  if (marker < 0) return result;
  // Marker text too near the end for its record: found, but its record cannot be read.
  const std::uint64_t marker_end = static_cast<std::uint64_t>(marker) + tail_marker_record_size;
  if (!file.seek(static_cast<std::int64_t>(marker_end) - static_cast<std::int64_t>(file.position()))) {
    result.stop = walk_stop::read_failed;
    result.records_read = 1;
    result.failed_at = marker_end;
    return result;
  }
  walker walk(file, result);
  for (;;) {
    chain_entry entry;
    entry.end = walk.position();
    if (!walk.next(entry.kind_text)) return result;
    if (entry.kind_text == tail_marker_text()) {
      result.accepted = true;
      entry.kind = entry_kind::tail_marker;
      entry.start = walk.position();
      // The first record read is the chain's own tail marker; any later one is an entry.
      if (result.records_read > 1 && !on_entry(entry)) {
        result.stop = walk_stop::consumer;
        return result;
      }
      continue;
    }
    entry.kind = kind_of(entry.kind_text);
    if (!walk.next(entry.key)) return result;
    if (entry.kind == entry_kind::value && !walk.next(entry.value)) return result;
    if (entry.kind == entry_kind::file && (!walk.next(entry.value) || !walk.next(entry.data))) return result;
    entry.start = walk.position();
    const bool go_on = on_entry(entry);
    if (entry.kind == entry_kind::stub || !go_on) {
      result.stop = entry.kind == entry_kind::stub ? walk_stop::stub : walk_stop::consumer;
      return result;
    }
  }
}

std::string describe_stop(const walk_result& result) {
  const std::string where = " in record " + std::to_string(result.records_read) + " read (at file offset " +
                            std::to_string(result.failed_at) + ")";
  switch (result.stop) {
    case walk_stop::no_marker:
      return "no tail marker";
    case walk_stop::stub:
      return "";
    case walk_stop::digest_mismatch:
      return "digest mismatch" + where;
    case walk_stop::move_failed:
      return "record reaches before the start of the file" + where;
    case walk_stop::read_failed:
      return "short read" + where;
    case walk_stop::consumer:
      return "walk stopped by its consumer";
  }
  return "";
}
