// The record functions that read one record or find the chain's end on their own, apart from the
// walk (which the stub runs), so that the stub links none of them.
#include "package/record.h"

bool find_tail_marker(byte_source& file) {
  const std::int64_t match = locate_tail_marker(file);
  return match >= 0 && file.seek_to(static_cast<std::uint64_t>(match) + tail_marker_record_size);
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
