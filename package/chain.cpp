#include "package/chain.h"

#include "pe/image.h"

namespace tailrun {

namespace {

class walker {
 public:
  walker(byte_source& file, std::size_t block_size, std::uint64_t floor, walk_result& result)
      : reader_(file, block_size), result_(result) {
    reader_.set_floor(floor);
  }

  // Reads the next record backward into `sink`; on failure records why and returns false.
  bool next(payload_sink& sink) {
    const std::uint64_t end = position();
    ++result_.records_read;
    switch (reader_.read(sink)) {
      case record_status::ok:
        return true;
      case record_status::digest_mismatch:
        result_.accepted = false;
        result_.stop = walk_stop::digest_mismatch;
        result_.failed_at = reader_.last_start();
        return false;
      case record_status::move_failed:
        result_.stop = walk_stop::move_failed;
        break;
      case record_status::read_failed:
        result_.stop = walk_stop::read_failed;
        break;
      case record_status::sink_failed:
        result_.stop = walk_stop::sink_failed;
        break;
      case record_status::too_long:
        result_.stop = walk_stop::too_long;
        break;
      case record_status::into_stub:
        result_.stop = walk_stop::into_stub;
        break;
    }
    // A walk that cannot reach the stub entry is a damaged package, whatever it verified so far.
    result_.accepted = false;
    result_.failed_at = end;
    return false;
  }

  bool next(std::string& text) {
    text_sink sink(text);
    return next(sink);
  }

  std::uint64_t position() { return reader_.file().position(); }

 private:
  record_reader reader_;
  walk_result& result_;
};

entry_kind kind_of(const chain_entry& entry) {
  if (entry.kind_size != entry.kind_text.size()) return entry_kind::other;
  if (entry.kind_text == value_kind_text) return entry_kind::value;
  if (entry.kind_text == file_kind_text) return entry_kind::file;
  if (entry.kind_text == stub_kind_text) return entry_kind::stub;
  if (entry.kind_text == tail_marker_text()) return entry_kind::tail_marker;
  return entry_kind::other;
}

}  // namespace

walk_result walk_chain(byte_source& file, chain_consumer& consumer, std::size_t block_size) {
  walk_result result;
  pe_headers stub;
  const std::uint64_t stub_end = read_pe_headers(file, stub).empty() && stub.sections_end > 0
                                     ? stub.sections_end + record_overhead
                                     : 0;
  const std::int64_t marker = locate_tail_marker(file, &result.search_end);
  result.marker_offset = marker < 0 ? -1 : marker;
  if (marker == chain_outside_signature) result.stop = walk_stop::outside_signature;
  if (marker < 0) return result;
  // Marker text too near the end for its record: found, but its record cannot be read.
  const std::uint64_t marker_end = static_cast<std::uint64_t>(marker) + tail_marker_record_size;
  if (!file.seek_to(marker_end)) {
    result.stop = walk_stop::read_failed;
    result.records_read = 1;
    result.failed_at = marker_end;
    return result;
  }
  walker walk(file, block_size, stub_end, result);
  discard_sink dropped;
  for (;;) {
    chain_entry entry;
    entry.end = walk.position();
    text_sink kind(entry.kind_text, kind_text_limit);
    if (!walk.next(kind)) return result;
    entry.kind_size = kind.length();
    entry.kind = kind_of(entry);
    if (entry.kind == entry_kind::tail_marker) {
      result.accepted = true;
      entry.start = walk.position();
      // The first record read is the chain's own tail marker; any later one is an entry.
      if (result.records_read > 1 && !consumer.entry(entry)) {
        result.stop = walk_stop::consumer;
        return result;
      }
      continue;
    }
    if (!walk.next(entry.key)) return result;
    if (entry.kind == entry_kind::value && !walk.next(entry.value)) return result;
    if (entry.kind == entry_kind::file) {
      if (!walk.next(entry.value)) return result;
      payload_sink* sink = consumer.file_data(entry);
      payload_sink& data = sink ? *sink : dropped;
      const std::uint64_t data_end = walk.position();
      if (!walk.next(data)) return result;
      entry.data_size = data_end - record_overhead - walk.position();
    }
    entry.start = walk.position();
    const bool go_on = consumer.entry(entry);
    if (entry.kind == entry_kind::stub || !go_on) {
      result.stop = entry.kind == entry_kind::stub ? walk_stop::stub : walk_stop::consumer;
      if (entry.kind == entry_kind::stub) result.stub_start = entry.start;
      return result;
    }
  }
}

bool names_a_setting(const chain_entry& entry) {
  return entry.kind == entry_kind::value || (entry.kind == entry_kind::file && !entry.key.empty());
}

void insert_setting(const chain_entry& entry, settings_map& settings) {
  if (names_a_setting(entry)) settings.insert_if_absent(entry.key, entry.value);
}

namespace {

// Drops file data after it has been verified; hands entries to a callback.
class callback_consumer final : public chain_consumer {
 public:
  explicit callback_consumer(const entry_callback& on_entry) : on_entry_(on_entry) {}
  bool entry(chain_entry& entry) override { return on_entry_(entry); }

 private:
  const entry_callback& on_entry_;
};

}  // namespace

walk_result walk_chain(byte_source& file, const entry_callback& on_entry) {
  callback_consumer consumer(on_entry);
  return walk_chain(file, consumer);
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
    case walk_stop::sink_failed:
      return "file data could not be stored" + where;
    case walk_stop::too_long:
      return "a text record longer than 1 MiB" + where;
    case walk_stop::into_stub:
      return "record reaches into the stub's image" + where;
    case walk_stop::outside_signature:
      return "the chain does not end where the package's certificate table starts, or bytes follow that table";
    case walk_stop::consumer:
      return "walk stopped by its consumer";
  }
  return "";
}

std::string describe_verdict(const walk_result& result) {
  if (result.accepted) {
    if (result.stop == walk_stop::stub) return "";
    return "the walk ended before the stub entry: " + describe_stop(result);
  }
  if (result.stop == walk_stop::stub) return "the stub entry was reached without a verified tail marker record";
  return describe_stop(result);
}

}  // namespace tailrun
