// The walk for those who explain a package: its outcome in words, and the walk that hands entries
// to a callback (the stub links none of it).
#include "package/chain.h"

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
