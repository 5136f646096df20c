// The record functions that read one record or find the chain's end on their own, apart from the
// walk (which the stub runs), so that the stub links none of them.
#include "package/record.h"

namespace {

// Moves to the absolute offset `target` with a relative move.
bool seek_to(byte_source& file, std::uint64_t target) {
  return file.seek(static_cast<std::int64_t>(target) - static_cast<std::int64_t>(file.position()));
}

}  // namespace

bool find_tail_marker(byte_source& file) {
  const std::int64_t match = locate_tail_marker(file);
  return match >= 0 && seek_to(file, static_cast<std::uint64_t>(match) + tail_marker_record_size);
}

bool read_trailer(byte_source& file, record_trailer& trailer) {
  return file.position() >= record_overhead && file.seek(-static_cast<std::int64_t>(record_overhead)) &&
         read_trailer_at(file, trailer);
}

record_status read_record(byte_source& file, std::string& payload) {
  record_reader reader(file, record_block_size);
  text_sink sink(payload);
  return reader.read(sink);
}

bool read_record_backward(byte_source& file, std::string& payload, bool& verdict) {
  const record_status status = read_record(file, payload);
  if (status == record_status::digest_mismatch) verdict = false;
  return status == record_status::ok;
}
