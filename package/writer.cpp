#include "package/writer.h"

#include <algorithm>
#include <stdexcept>

#include "base/little_endian.h"
#include "package/record.h"
#include "package/md5.h"
#include "package/record.h"

namespace tailrun {

record_payload::record_payload(std::shared_ptr<byte_source> source) : source_(std::move(source)) {
  const std::int64_t size = source_->seek_end();
  if (size < 0) throw std::runtime_error("cannot get the size of a payload");
  source_size_ = static_cast<std::uint64_t>(size);
}

void record_payload::stream(const std::function<void(const char*, std::size_t)>& out) const {
  if (!source_) {
    if (!text_.empty()) out(text_.data(), text_.size());
    return;
  }
  if (!source_->seek(-static_cast<std::int64_t>(source_->position())))
    throw std::runtime_error("cannot move to the start of a payload");
  std::vector<char> block(static_cast<std::size_t>(std::min<std::uint64_t>(source_size_, record_block_size)));
  for (std::uint64_t done = 0; done < source_size_;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(source_size_ - done, block.size()));
    if (!source_->read(block.data(), count)) throw std::runtime_error("cannot read a payload (did it change?)");
    out(block.data(), count);
    done += count;
  }
  char more;  // a file that reads past its size (a /proc file reports 0) is not stored cut short
  if (source_->read(&more, 1) || source_->seek_end() != static_cast<std::int64_t>(source_size_))
    throw std::runtime_error("a payload changed its size while it was written, or holds more than its size says");
}

package_entry package_entry::make_value(std::string key, record_payload value) {
  return package_entry{type::value, std::move(key), std::move(value), {}};
}

package_entry package_entry::make_file(std::string key, std::string name, record_payload data) {
  return package_entry{type::file, std::move(key), std::move(name), std::move(data)};
}

void write_record(byte_sink& out, const record_payload& payload) {
  if (payload.size() > largest_payload)
    throw std::length_error("record payload larger than " + std::to_string(largest_payload) + " bytes");
  md5_context md5;
  payload.stream([&](const char* bytes, std::size_t count) {
    out.write(bytes, count);
    md5.update(bytes, count);
  });
  unsigned char length[4];
  store_le32(length, static_cast<std::uint32_t>(payload.size()));
  out.write(length, sizeof length);
  const std::string digest = md5.digest();
  out.write(digest.data(), digest.size());
}

void for_each_record(const record_payload& stub_image, const std::string& stub_file_name,
                     const std::vector<package_entry>& entries,
                     const std::function<void(const record_payload&)>& visit) {
  visit(stub_image);
  visit(stub_file_name);
  visit(stub_kind_text);
  visit(stub_kind_text);
  for (const package_entry& entry : entries) {
    if (entry.kind == package_entry::type::value) {
      visit(entry.value);
      visit(entry.key);
      visit(value_kind_text);
    } else {
      visit(entry.data);
      visit(entry.value);
      visit(entry.key);
      visit(file_kind_text);
    }
  }
  visit(tail_marker_text());
}

void write_package(byte_sink& out, const record_payload& stub_image, const std::string& stub_file_name,
                   const std::vector<package_entry>& entries) {
  for_each_record(stub_image, stub_file_name, entries, [&out](const record_payload& payload) { write_record(out, payload); });
}

std::uint64_t package_size(const record_payload& stub_image, const std::string& stub_file_name,
                           const std::vector<package_entry>& entries) {
  std::uint64_t size = 0;
  for_each_record(stub_image, stub_file_name, entries,
                  [&size](const record_payload& payload) { size += payload.size() + record_overhead; });
  return size;
}

}  // namespace tailrun
