#include "package/record.h"

#include <algorithm>
#include <vector>

#include "base/little_endian.h"
#include "package/md5.h"
#include "pe/image.h"

namespace tailrun {

namespace {

// The highest start of the marker text in [low, high) of the file, or -1.
std::int64_t search_backward(byte_source& file, std::uint64_t low, std::uint64_t high) {
  const std::string& marker = tail_marker_text();
  std::vector<char> block;
  std::uint64_t block_end = high;
  while (block_end - low >= marker.size()) {
    const std::uint64_t block_start = std::max(low, block_end > record_block_size ? block_end - record_block_size : 0);
    block.resize(block_end - block_start);
    if (!file.read_at(block_start, block.data(), block.size())) return -1;
    const auto hit = std::find_end(block.begin(), block.end(), marker.begin(), marker.end());
    if (hit != block.end()) return static_cast<std::int64_t>(block_start) + (hit - block.begin());
    if (block_start == low) break;
    block_end = block_start + marker.size() - 1;  // keep matches that straddle the boundary
  }
  return -1;
}

// The marker text of a tail marker record that ends at `table` after 0 to 7 zero bytes, or -1.
std::int64_t marker_before_table(byte_source& file, std::uint64_t table) {
  const std::string& marker = tail_marker_text();
  unsigned char padding[8] = {};
  const std::uint64_t before = std::min<std::uint64_t>(table, sizeof padding);
  if (!file.read_at(table - before, padding, before)) return -1;
  for (std::uint64_t zeros = 0; zeros <= before && zeros < sizeof padding; ++zeros) {
    const std::uint64_t end = table - zeros;
    std::string text(marker.size(), '\0');
    if (end >= tail_marker_record_size + 23 &&
        file.read_at(end - tail_marker_record_size, &text[0], text.size()) && text == marker)
      return static_cast<std::int64_t>(end - tail_marker_record_size);
    if (zeros < before && padding[before - 1 - zeros] != 0) break;
  }
  return -1;
}

}  // namespace

bool read_trailer_at(byte_source& file, record_trailer& trailer) {
  unsigned char bytes[record_overhead];  // length, then digest
  if (!file.read(bytes, sizeof bytes) || !file.seek(-static_cast<std::int64_t>(record_overhead))) return false;
  trailer.length = le32(bytes);
  trailer.digest.assign(reinterpret_cast<const char*>(bytes) + 4, 16);
  return true;
}

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

signed_region find_signed_region(byte_source& file, std::uint64_t size) {
  signed_region region;
  pe_headers headers;
  if (!read_pe_headers(file, headers).empty() || headers.certificate_table == 0) return region;
  region.table = headers.certificate_table;
  region.table_size = headers.certificate_size;
  region.refused = region.table + region.table_size != size || region.table_size < 8 ||
                   region.table < headers.optional_offset + headers.optional_size;
  return region;
}

std::int64_t locate_tail_marker(byte_source& file, std::uint64_t* search_end) {
  const std::int64_t size = file.seek_end();
  if (size < 0) return -1;
  const signed_region region = find_signed_region(file, static_cast<std::uint64_t>(size));
  const std::uint64_t end =
      region.table != 0 && !region.refused ? region.table : static_cast<std::uint64_t>(size);
  if (search_end) *search_end = end;
  // Candidates s in [23, end - 23]; the bytes they cover lie in [23, end - 1).
  constexpr std::uint64_t lowest = 23;
  const std::int64_t found =
      end < lowest + 1 + tail_marker_text().size() ? -1 : search_backward(file, lowest, end - 1);
  if (region.table == 0) return found;
  const std::int64_t signed_chain = region.refused ? -1 : marker_before_table(file, region.table);
  if (signed_chain >= 0) return signed_chain;
  return found < 0 ? -1 : chain_outside_signature;
}

bool text_sink::begin(std::uint64_t length) {
  length_ = length;
  text_.clear();
  if (length > longest_text) return false;
  text_.reserve(static_cast<std::size_t>(std::min(length, limit_)));
  return true;
}

bool text_sink::take(const char* bytes, std::size_t count) {
  const std::uint64_t room = limit_ - text_.size();
  text_.append(bytes, static_cast<std::size_t>(std::min<std::uint64_t>(count, room)));
  return true;
}

record_reader::record_reader(byte_source& file, std::size_t block_size)
    : file_(file), block_size_(std::max<std::size_t>(block_size, 1)) {}

record_status record_reader::read(payload_sink& sink) {
  const std::uint64_t end = file_.position();
  if (end < record_overhead) return record_status::move_failed;
  record_trailer trailer;
  if (!file_.seek(-static_cast<std::int64_t>(record_overhead))) return record_status::move_failed;
  if (!read_trailer_at(file_, trailer)) return record_status::read_failed;
  const std::uint64_t length = trailer.length;
  if (length > end - record_overhead) return record_status::move_failed;
  const std::uint64_t start = end - record_overhead - length;
  if (start < floor_) return record_status::into_stub;
  if (!file_.seek_to(start)) return record_status::move_failed;
  last_start_ = start;

  md5_context md5;
  if (!sink.begin(length)) return record_status::too_long;
  // Whatever ends the read, the sink lets go of the blocks before they are reused or freed.
  struct ending {
    payload_sink& sink;
    bool done = false;
    bool end() {
      done = true;
      return sink.end();
    }
    ~ending() {
      if (!done) sink.end();
    }
  } ending{sink};
  // The buffers grow to the largest block needed so far: short texts never cost a full block, and
  // a payload of one block never costs a second buffer.
  const std::uint64_t block = std::min<std::uint64_t>(length, block_size_);
  const int buffers = length > block ? 2 : 1;
  for (int i = 0; i < buffers; ++i)
    if (block_[i].size() < block) block_[i].resize(static_cast<std::size_t>(block));
  unsigned next = 0;
  for (std::uint64_t done = 0; done < length; next ^= 1U) {
    char* const bytes = block_[next].data();
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, block));
    if (!file_.read(bytes, count)) return record_status::read_failed;
    md5.update(bytes, count);
    if (!sink.take(bytes, count)) return record_status::sink_failed;
    done += count;
  }
  if (!ending.end()) return record_status::sink_failed;
  if (md5.digest() != trailer.digest) return record_status::digest_mismatch;
  return file_.seek_to(start) ? record_status::ok : record_status::move_failed;
}

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

}  // namespace tailrun
