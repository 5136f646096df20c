#include "package/record.h"

#include <algorithm>
#include <vector>

#include "package/little_endian.h"
#include "package/md5.h"
#include "package/pe_image.h"

namespace {

// Reads the 20 trailer bytes at the position and steps back over them again.
bool read_trailer_here(byte_source& file, record_trailer& trailer) {
  unsigned char bytes[record_overhead];  // length, then digest
  if (!file.read(bytes, sizeof bytes) || !file.seek(-static_cast<std::int64_t>(record_overhead))) return false;
  trailer.length = le32(bytes);
  trailer.digest.assign(reinterpret_cast<const char*>(bytes) + 4, 16);
  return true;
}

// Moves to the absolute offset `target` with a relative move.
bool seek_to(byte_source& file, std::uint64_t target) {
  return file.seek(static_cast<std::int64_t>(target) - static_cast<std::int64_t>(file.position()));
}

bool read_at(byte_source& file, std::uint64_t offset, void* buffer, std::size_t count) {
  return seek_to(file, offset) && file.read(buffer, count);
}

// Start of a certificate table that ends exactly at `size`, or 0 when there is none.
std::uint64_t certificate_table_start(byte_source& file, std::uint64_t size) {
  pe_headers headers;
  if (!read_pe_headers(file, headers).empty()) return 0;
  const std::uint64_t table = headers.certificate_table, table_size = headers.certificate_size;
  if (table == 0 || table_size < 8 || table + table_size != size) return 0;
  if (table < headers.optional_offset + headers.optional_size) return 0;  // overlaps the headers
  return table;
}

}  // namespace

const std::string& tail_marker_text() {
  // Kept out of the program image as one piece: the backward search would otherwise find the
  // constant inside the stub itself, and a stub without a chain would not read as one.
  static const std::string text = [] {
    const unsigned char scrambled[] = {0x39, 0x32, 0x2f, 0x34, 0x31, 0x3f, 0x3e, 0x77, 0x33, 0x34, 0x29,
                                       0x2e, 0x3b, 0x36, 0x36, 0x3f, 0x28, 0x77, 0x2e, 0x3b, 0x33, 0x36};
    std::string plain(sizeof scrambled, '\0');
    for (std::size_t i = 0; i < sizeof scrambled; ++i) plain[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    return plain;
  }();
  return text;
}

std::int64_t search_end(byte_source& file) {
  const std::int64_t size = file.seek_end();
  if (size < 0) return -1;
  const std::uint64_t table = certificate_table_start(file, static_cast<std::uint64_t>(size));
  return table != 0 ? static_cast<std::int64_t>(table) : size;
}

std::int64_t locate_tail_marker(byte_source& file) {
  const std::string& marker = tail_marker_text();
  const std::int64_t end = search_end(file);
  // Candidates s in [23, end - 23]; the bytes they cover lie in [23, end - 1).
  constexpr std::uint64_t lowest = 23;
  if (end < 0 || static_cast<std::uint64_t>(end) < lowest + 1 + marker.size()) return -1;
  const std::uint64_t low = lowest, high = static_cast<std::uint64_t>(end) - 1;

  constexpr std::uint64_t block_size = record_block_size;
  std::vector<char> block;
  std::uint64_t block_end = high;
  while (block_end - low >= marker.size()) {
    const std::uint64_t block_start = std::max(low, block_end > block_size ? block_end - block_size : 0);
    block.resize(block_end - block_start);
    if (!read_at(file, block_start, block.data(), block.size())) return -1;
    const auto hit = std::find_end(block.begin(), block.end(), marker.begin(), marker.end());
    if (hit != block.end()) return static_cast<std::int64_t>(block_start) + (hit - block.begin());
    if (block_start == low) break;
    block_end = block_start + marker.size() - 1;  // keep matches that straddle the boundary
  }
  return -1;
}

bool find_tail_marker(byte_source& file) {
  const std::int64_t match = locate_tail_marker(file);
  return match >= 0 && seek_to(file, static_cast<std::uint64_t>(match) + tail_marker_record_size);
}

void text_sink::begin(std::uint64_t length) {
  length_ = length;
  text_.clear();
  text_.reserve(static_cast<std::size_t>(std::min(length, limit_)));
}

bool text_sink::take(const char* bytes, std::size_t count) {
  const std::uint64_t room = limit_ - text_.size();
  text_.append(bytes, static_cast<std::size_t>(std::min<std::uint64_t>(count, room)));
  return true;
}

bool read_trailer(byte_source& file, record_trailer& trailer) {
  return file.position() >= record_overhead && file.seek(-static_cast<std::int64_t>(record_overhead)) &&
         read_trailer_here(file, trailer);
}

record_reader::record_reader(byte_source& file, std::size_t block_size)
    : file_(file), block_size_(std::max<std::size_t>(block_size, 1)) {}

record_status record_reader::read(payload_sink& sink) {
  const std::uint64_t end = file_.position();
  if (end < record_overhead) return record_status::move_failed;
  record_trailer trailer;
  if (!file_.seek(-static_cast<std::int64_t>(record_overhead))) return record_status::move_failed;
  if (!read_trailer_here(file_, trailer)) return record_status::read_failed;
  const std::uint64_t length = trailer.length;
  if (length > end - record_overhead) return record_status::move_failed;
  const std::uint64_t start = end - record_overhead - length;
  if (!seek_to(file_, start)) return record_status::move_failed;
  last_start_ = start;

  md5_context md5;
  sink.begin(length);
  // The buffer grows to the largest block needed so far: short texts never cost a full block.
  const std::uint64_t block = std::min<std::uint64_t>(length, block_size_);
  if (block_.size() < block) block_.resize(static_cast<std::size_t>(block));
  for (std::uint64_t done = 0; done < length;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, block));
    if (!file_.read(block_.data(), count)) return record_status::read_failed;
    md5.update(block_.data(), count);
    if (!sink.take(block_.data(), count)) return record_status::sink_failed;
    done += count;
  }
  if (md5.digest() != trailer.digest) return record_status::digest_mismatch;
  return seek_to(file_, start) ? record_status::ok : record_status::move_failed;
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
